#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// The names and payloads of what goes to the broker, as pure rules so they
// are tested without one. Every topic starts with "tessaly/<id>/"; a camera's
// topics go on with its slug.
namespace EventTopics {

// The largest thumbnail sent on …/thumbnail.
constexpr qsizetype MaxThumbnailBytes = 64 * 1024;

// A camera's list name as one topic level and one Home Assistant object id:
// accents dropped (é → e), ASCII letters lower-cased, letters and digits
// kept, every run of anything else one "_", none at either end, at most 48
// characters; a name with nothing left is "camera". Stable: the same name
// gives the same slug on every machine and every run.
QString slug(const QString &name);
// The slugs of a camera list, in its order: a slug an earlier camera already
// has gets "_2", "_3"… so two names never share topics ("Door 1", "door-1").
QStringList slugs(const QStringList &names);

// An identity for --mqtt-id: 1 to 64 of A-Z a-z 0-9 _ -, since it is a topic
// level and part of Home Assistant ids.
bool isValidId(const QString &id);
// The default identity: the host name made valid (dots and the rest as "_").
QString defaultId(const QString &hostName);

QString statusTopic(const QString &id);
QString cameraTopic(const QString &id, const QString &slug, const QString &leaf);

// {"time":"2026-12-09T10:15:00+01:00","file":"Door 12-09-2026 10-15-00 AM.jpg"[,"url":…]}
QByteArray picturePayload(const QDateTime &when, const QString &fileName, const QString &url);

// One retained Home Assistant discovery message.
struct Discovery
{
    QString topic;
    QByteArray config;
};
// The discovery messages of one camera: motion and problem binary sensors,
// and the picture when the web view is on. One device per camera, named as
// in the list; unique ids "tessaly_<id>_<slug>_<what>".
QList<Discovery> discovery(const QString &id, const QString &cameraName, const QString &slug,
                           bool webView, const QString &version);

// A JPEG of at most MaxThumbnailBytes: the picture as it is when small
// enough, else scaled down and re-encoded until it fits; empty when the
// bytes do not decode.
QByteArray thumbnail(const QByteArray &jpeg);

} // namespace EventTopics
