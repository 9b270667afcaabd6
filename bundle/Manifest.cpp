#include "bundle/Manifest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>

#include "update/ImageFiles.h"

namespace {

constexpr char kFormat[] = "tovrane-bundle";
constexpr int kFormatVersion = 1;

constexpr char kFormatKey[] = "format";
constexpr char kFormatVersionKey[] = "format_version";
constexpr char kNameKey[] = "name";
constexpr char kReleaseKey[] = "release";
constexpr char kStepsKey[] = "steps";
constexpr char kImagesKey[] = "images";
constexpr char kVersionPatternKey[] = "version_pattern";
constexpr char kRequireVerifyKey[] = "require_verify";

constexpr BundleStep kSteps[] = {BundleStep::Dsp, BundleStep::Mcu, BundleStep::Version};

// Collects what the manifest says, field by field, keeping the first broken rule.
class ManifestReader {
  public:
    explicit ManifestReader(const QJsonObject& object) : m_object(object) {}

    ManifestReading Read() {
        CheckFormat();
        m_reading.manifest.name = Text(kNameKey);
        m_reading.manifest.release = Text(kReleaseKey);
        m_reading.manifest.steps = Steps();
        m_reading.manifest.images = Images();
        m_reading.manifest.versionPattern = VersionPattern();
        m_reading.manifest.requireVerify = RequireVerify();
        CheckStepsHaveImages();
        return std::move(m_reading);
    }

  private:
    void Refuse(const std::string& rule) {
        if (m_reading.refusal.empty()) {
            m_reading.refusal = "manifest.json: " + rule;
        }
    }

    void CheckFormat() {
        if (m_object.value(kFormatKey) != QJsonValue(kFormat)) {
            Refuse(std::string("\"format\" must be \"") + kFormat + "\"");
        }
        const QJsonValue version = m_object.value(kFormatVersionKey);
        if (version.isDouble() && version.toDouble() > kFormatVersion) {
            Refuse("this bundle is of format version " +
                   QString::number(version.toDouble()).toStdString() +
                   ", which needs a newer Tovrane (this one reads version 1)");
        } else if (version != QJsonValue(kFormatVersion)) {
            Refuse("\"format_version\" must be 1");
        }
    }

    std::optional<std::string> Text(const char* key) {
        const QString text = m_object.value(key).toString();
        if (text.isEmpty()) {
            Refuse(std::string("\"") + key + "\" must be a non-empty string");
            return std::nullopt;
        }
        return text.toStdString();
    }

    std::optional<std::vector<BundleStep>> Steps() {
        const QJsonArray list = m_object.value(kStepsKey).toArray();
        std::vector<BundleStep> steps;
        for (const QJsonValue value : list) {
            const auto known = std::find_if(std::begin(kSteps), std::end(kSteps),
                                            [&](BundleStep s) { return value == StepName(s); });
            if (known == std::end(kSteps)) {
                Refuse("a step must be \"dsp\", \"mcu\" or \"version\"");
                return std::nullopt;
            }
            if (std::find(steps.begin(), steps.end(), *known) != steps.end()) {
                Refuse(std::string("the step \"") + StepName(*known) + "\" is listed twice");
                return std::nullopt;
            }
            steps.push_back(*known);
        }
        if (steps.empty()) {
            Refuse("\"steps\" must be a non-empty list of \"dsp\", \"mcu\" and \"version\"");
            return std::nullopt;
        }
        return steps;
    }

    std::optional<std::map<std::string, std::string>> Images() {
        const QJsonValue value = m_object.value(kImagesKey);
        if (!value.isObject()) {
            Refuse("\"images\" must map image names to their SHA-256");
            return std::nullopt;
        }
        static const QRegularExpression kSha256("^[0-9a-f]{64}$");
        std::map<std::string, std::string> images;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            const std::string name = it.key().toStdString();
            if (std::none_of(std::begin(kImageNames), std::end(kImageNames),
                             [&](const ImageName& image) { return name == image.name; })) {
                Refuse("the image " + name +
                       " is not allowed; images are dsp.hex, mcu_old.mot and mcu_new.mot");
                return std::nullopt;
            }
            if (!kSha256.match(it.value().toString()).hasMatch()) {
                Refuse("the SHA-256 of " + name + " must be 64 lower-case hex digits");
                return std::nullopt;
            }
            images[name] = it.value().toString().toStdString();
        }
        return images;
    }

    std::optional<std::string> VersionPattern() {
        const QJsonValue value = m_object.value(kVersionPatternKey);
        if (value.isUndefined()) {
            return std::nullopt;
        }
        const QRegularExpression pattern(value.toString());
        if (!value.isString() || !pattern.isValid()) {
            Refuse("\"version_pattern\" must be a regular expression" +
                   (value.isString() ? ": " + pattern.errorString().toStdString() : ""));
            return std::nullopt;
        }
        const auto& steps = m_reading.manifest.steps;
        if (steps && std::find(steps->begin(), steps->end(), BundleStep::Version) == steps->end()) {
            Refuse("\"version_pattern\" is given, but there is no \"version\" step to match it");
        }
        return value.toString().toStdString();
    }

    std::optional<bool> RequireVerify() {
        const QJsonValue value = m_object.value(kRequireVerifyKey);
        if (value.isUndefined()) {
            return false;
        }
        if (!value.isBool()) {
            Refuse("\"require_verify\" must be true or false");
            return std::nullopt;
        }
        return value.toBool();
    }

    void CheckStepsHaveImages() {
        const Manifest& manifest = m_reading.manifest;
        if (!manifest.steps || !manifest.images) {
            return;
        }
        const auto has = [&](const char* name) { return manifest.images->contains(name); };
        for (const BundleStep step : *manifest.steps) {
            if (step == BundleStep::Dsp && !has(kDspImageName)) {
                Refuse("the \"dsp\" step needs dsp.hex in \"images\"");
            }
            if (step == BundleStep::Mcu && !has(kMcuOldImageName) && !has(kMcuNewImageName)) {
                Refuse("the \"mcu\" step needs mcu_old.mot or mcu_new.mot in \"images\"");
            }
        }
    }

    const QJsonObject& m_object;
    ManifestReading m_reading;
};

}  // namespace

const char* StepName(BundleStep step) {
    switch (step) {
        case BundleStep::Dsp:
            return "dsp";
        case BundleStep::Mcu:
            return "mcu";
        case BundleStep::Version:
            return "version";
    }
    return "";
}

bool Manifest::HasUpdateStep() const {
    return steps && std::any_of(steps->begin(), steps->end(),
                                [](BundleStep step) { return step != BundleStep::Version; });
}

ManifestReading ReadManifest(const QByteArray& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (!document.isObject()) {
        ManifestReading reading;
        reading.refusal = "manifest.json is not a JSON object" +
                          (error.error != QJsonParseError::NoError
                               ? ": " + error.errorString().toStdString() + " at byte " +
                                     std::to_string(error.offset)
                               : std::string());
        return reading;
    }
    const QJsonObject object = document.object();
    return ManifestReader(object).Read();
}

QByteArray ManifestText(const Manifest& manifest) {
    QJsonArray steps;
    for (const BundleStep step : manifest.steps.value()) {
        steps.append(StepName(step));
    }
    QJsonObject images;
    for (const auto& [name, sha256] : manifest.images.value()) {
        images.insert(QString::fromStdString(name), QString::fromStdString(sha256));
    }
    QJsonObject object{
        {kFormatKey, kFormat},
        {kFormatVersionKey, kFormatVersion},
        {kNameKey, QString::fromStdString(manifest.name.value())},
        {kReleaseKey, QString::fromStdString(manifest.release.value())},
        {kStepsKey, steps},
        {kImagesKey, images},
        {kRequireVerifyKey, manifest.requireVerify.value_or(false)},
    };
    if (manifest.versionPattern) {
        object.insert(kVersionPatternKey, QString::fromStdString(*manifest.versionPattern));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}
