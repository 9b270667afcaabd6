#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "SampleImages.h"
#include "TempDir.h"
#include "TestBundle.h"
#include "bundle/TrustFile.h"

// A working folder per test; the private copies are made in its tmp/ (TMPDIR), so a
// test sees every copy made and whether it is gone; no trust file is in force unless
// the test gives one (the machine's /etc is never consulted).
class BundleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* previous = std::getenv("TMPDIR");
        m_previousTmpdir = previous != nullptr ? previous : "";
        std::filesystem::create_directories(Tmp());
        ::setenv("TMPDIR", Tmp().c_str(), 1);
        SetDefaultTrustFileForTests(work.File("no-trust-file"));
    }
    void TearDown() override {
        SetDefaultTrustFileForTests(kDefaultTrustFile);
        if (m_previousTmpdir.empty()) {
            ::unsetenv("TMPDIR");
        } else {
            ::setenv("TMPDIR", m_previousTmpdir.c_str(), 1);
        }
    }

    std::string Tmp() const { return work.File("tmp"); }
    // What is left in the temporary folder.
    std::set<std::string> TmpEntries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Tmp())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    std::string WriteGoodBundle(const std::string& name) const {
        return WriteBundleFolder(work.Path() / name,
                                 {{"dsp.hex", kDspImage}, {"mcu_new.mot", kMcuImage}});
    }

    TempDir work;

  private:
    std::string m_previousTmpdir;
};
