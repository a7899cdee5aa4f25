#include "EventTopics.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

namespace EventTopics {

namespace {

constexpr qsizetype MaxSlugLength = 48;
const QString kPrefix = QStringLiteral("tessaly");
const QString kDiscoveryPrefix = QStringLiteral("homeassistant");

QJsonObject device(const QString &id, const QString &cameraName, const QString &slug,
                   const QString &version)
{
    return QJsonObject{
        {QStringLiteral("identifiers"), QJsonArray{QStringLiteral("tessaly_%1_%2").arg(id, slug)}},
        {QStringLiteral("name"), cameraName},
        {QStringLiteral("manufacturer"), QStringLiteral("Tessaly")},
        {QStringLiteral("model"), QStringLiteral("Network camera (%1)").arg(id)},
        {QStringLiteral("sw_version"), version},
    };
}

} // namespace

QString slug(const QString &name)
{
    const QString folded = name.normalized(QString::NormalizationForm_KD);
    QString out;
    bool gap = false;
    for (const QChar c : folded) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue; // the accent of a decomposed letter
        if (c.unicode() < 128 && c.isLetterOrNumber()) {
            if (gap && !out.isEmpty())
                out += QLatin1Char('_');
            gap = false;
            out += c.toLower();
        } else {
            gap = true;
        }
    }
    out.truncate(MaxSlugLength);
    while (out.endsWith(QLatin1Char('_')))
        out.chop(1);
    return out.isEmpty() ? QStringLiteral("camera") : out;
}

QStringList slugs(const QStringList &names)
{
    QStringList out;
    QSet<QString> taken;
    for (const QString &name : names) {
        const QString base = slug(name);
        QString candidate = base;
        for (int n = 2; taken.contains(candidate); ++n)
            candidate = QStringLiteral("%1_%2").arg(base).arg(n);
        taken.insert(candidate);
        out << candidate;
    }
    return out;
}

bool isValidId(const QString &id)
{
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    return valid.match(id).hasMatch();
}

QString defaultId(const QString &hostName)
{
    QString id;
    for (const QChar c : hostName) {
        const bool keep = c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('-'));
        id += keep ? c : QLatin1Char('_');
    }
    id.truncate(64);
    return isValidId(id) ? id : QStringLiteral("tessaly");
}

QString statusTopic(const QString &id)
{
    return QStringLiteral("%1/%2/status").arg(kPrefix, id);
}

QString cameraTopic(const QString &id, const QString &slug, const QString &leaf)
{
    return QStringLiteral("%1/%2/%3/%4").arg(kPrefix, id, slug, leaf);
}

QByteArray picturePayload(const QDateTime &when, const QString &fileName, const QString &url)
{
    QJsonObject object{
        {QStringLiteral("time"), when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODate)},
        {QStringLiteral("file"), fileName}};
    if (!url.isEmpty())
        object.insert(QStringLiteral("url"), url);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QList<Discovery> discovery(const QString &id, const QString &cameraName, const QString &slug,
                           bool webView, const QString &version)
{
    const QString node = QStringLiteral("tessaly_%1_%2").arg(id, slug);
    const auto make = [&](const QString &component, const QString &what, QJsonObject config) {
        config.insert(QStringLiteral("unique_id"), QStringLiteral("%1_%2").arg(node, what));
        config.insert(QStringLiteral("object_id"), QStringLiteral("%1_%2").arg(node, what));
        config.insert(QStringLiteral("availability_topic"), statusTopic(id));
        config.insert(QStringLiteral("payload_available"), QStringLiteral("online"));
        config.insert(QStringLiteral("payload_not_available"), QStringLiteral("offline"));
        config.insert(QStringLiteral("device"), device(id, cameraName, slug, version));
        return Discovery{
            QStringLiteral("%1/%2/%3/%4/config").arg(kDiscoveryPrefix, component, node, what),
            QJsonDocument(config).toJson(QJsonDocument::Compact)};
    };
    QList<Discovery> out;
    out << make(QStringLiteral("binary_sensor"), QStringLiteral("motion"),
                {{QStringLiteral("name"), QStringLiteral("Change")},
                 {QStringLiteral("device_class"), QStringLiteral("motion")},
                 {QStringLiteral("state_topic"), cameraTopic(id, slug, QStringLiteral("change"))},
                 {QStringLiteral("payload_on"), QStringLiteral("ON")},
                 {QStringLiteral("payload_off"), QStringLiteral("OFF")}});
    out << make(QStringLiteral("binary_sensor"), QStringLiteral("problem"),
                {{QStringLiteral("name"), QStringLiteral("Stale")},
                 {QStringLiteral("device_class"), QStringLiteral("problem")},
                 {QStringLiteral("state_topic"), cameraTopic(id, slug, QStringLiteral("state"))},
                 {QStringLiteral("payload_on"), QStringLiteral("stale")},
                 {QStringLiteral("payload_off"), QStringLiteral("ok")}});
    if (webView)
        out << make(
            QStringLiteral("image"), QStringLiteral("picture"),
            {{QStringLiteral("name"), QStringLiteral("Picture")},
             {QStringLiteral("url_topic"), cameraTopic(id, slug, QStringLiteral("picture"))},
             {QStringLiteral("url_template"), QStringLiteral("{{ value_json.url }}")}});
    return out;
}

QByteArray thumbnail(const QByteArray &jpeg)
{
    if (jpeg.size() <= MaxThumbnailBytes && jpeg.startsWith("\xFF\xD8"))
        return jpeg;
    QBuffer source;
    source.setData(jpeg);
    QImageReader reader(&source, "jpeg");
    QSize size = reader.size();
    if (!size.isValid())
        return {};
    // A thumbnail is for a glance: 320 pixels wide is plenty, and the DCT
    // decode at that size is cheap.
    if (size.width() > 320)
        size = size.scaled(320, 320 * size.height() / size.width() + 1, Qt::KeepAspectRatio);
    reader.setScaledSize(size);
    QImage image = reader.read();
    for (int quality = 75; !image.isNull(); quality -= 15) {
        QByteArray out;
        QBuffer sink(&out);
        sink.open(QIODevice::WriteOnly);
        if (!image.save(&sink, "JPEG", quality))
            return {};
        if (out.size() <= MaxThumbnailBytes)
            return out;
        if (quality <= 30) {
            image = image.scaled(image.size() / 2, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            quality = 90;
        }
    }
    return {};
}

} // namespace EventTopics
