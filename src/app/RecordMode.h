#pragma once

#include <optional>

#include <QString>
#include <QtGlobal>

#include "Settings.h"

// tessaly --record: the capture engine and the recorder in a console
// application, no display needed. Event lines go to standard output, one per
// line and flushed at once so a pipe or the journal sees them as they happen;
// notices and the closing summary go to standard error.
namespace RecordMode {

// The switches the command line asks to store.
struct StoredSwitches
{
    std::optional<Settings::AutoSaveMode> autoSave;
    std::optional<bool> detect;
    std::optional<int> alsoEveryMinutes; // 0: none
    std::optional<bool> keepOriginal;
    std::optional<int> keepDays;    // 0: no limit
    std::optional<qint64> keepSize; // bytes, 0: no limit
    std::optional<qint64> minFree;  // bytes, 0: never pause
    std::optional<Settings::WebView> webView;
    std::optional<QString> webCertificate; // with webKey: the user's own pair
    std::optional<QString> webKey;
    std::optional<QString> mqttBroker; // address as stored, empty: off
    std::optional<QString> mqttId;
    std::optional<bool> mqttThumbnails;
};

// Stores the switches given first (1 when that fails), then records until
// SIGINT or SIGTERM (exit code 0) when record is set; 1 when nothing can be
// recorded.
int run(int &argc, char **argv, const StoredSwitches &switches, bool record);

} // namespace RecordMode
