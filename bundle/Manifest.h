#pragma once

#include <QByteArray>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A bundle's steps, run in the order the manifest gives.
enum class BundleStep { Dsp, Mcu, Version };

// "dsp", "mcu" or "version", as the manifest names a step.
const char* StepName(BundleStep step);

// What manifest.json says. A field that is missing or breaks its rule stays empty
// (nullopt), so a refused manifest still shows what could be read.
struct Manifest {
    std::optional<std::string> name;
    std::optional<std::string> release;
    std::optional<std::vector<BundleStep>> steps;
    std::optional<std::map<std::string, std::string>> images;  // image name -> SHA-256
    std::optional<std::string> versionPattern;                 // nullopt when not given
    std::optional<bool> requireVerify;                         // false when not given

    bool HasUpdateStep() const;
};

struct ManifestReading {
    Manifest manifest;
    std::string refusal;  // the first rule the manifest breaks; empty when it keeps them all
};

// Reads manifest.json's bytes and checks them against the format's rules.
ManifestReading ReadManifest(const QByteArray& text);

// The text of a manifest of the current format (for a bundle being made); every field
// must be set.
QByteArray ManifestText(const Manifest& manifest);
