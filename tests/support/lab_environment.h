#pragma once
// One lab for a whole GoogleTest program: brought up with the program's
// fleet before the first test, the process moved into the lab's host
// namespace for good, and taken down after the last test. A test program
// registers it once:
//
//   const auto* const kLab = ::testing::AddGlobalTestEnvironment(
//       new labkit::LabEnvironment(Fleet, gLab, gInLab));
//
// Given a `scratch` string and a folder name pattern, it also makes a
// scratch folder (/tmp/PATTERN.XXXXXX) before the lab comes up and removes
// it after the lab is down. Its tests derive their fixture from FleetTest.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/labkit.h"

namespace kestrix::labkit {

class LabEnvironment : public ::testing::Environment {
public:
    // `lab` and `inLab` are the program's own handles on the lab; they are
    // set while the lab is up.
    LabEnvironment(std::function<LabOptions()> options, Lab*& lab, bool& inLab,
                   std::string* scratch = nullptr, std::string pattern = {})
        : options_(std::move(options)),
          lab_(lab),
          inLab_(inLab),
          scratch_(scratch),
          pattern_(std::move(pattern)) {}

    void SetUp() override {
        if (scratch_ != nullptr) {
            std::string path = "/tmp/" + pattern_ + ".XXXXXX";
            ASSERT_NE(::mkdtemp(path.data()), nullptr);
            *scratch_ = path;
        }
        lab_ = new Lab();
        std::string err;
        ASSERT_TRUE(lab_->Up(options_(), &err)) << err;
        ASSERT_TRUE(EnterNetns(kHostNamespace, &err)) << err;
        inLab_ = true;
    }
    void TearDown() override {
        if (lab_ != nullptr) lab_->Down();
        delete lab_;
        lab_ = nullptr;
        if (scratch_ != nullptr && !scratch_->empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(*scratch_, ignored);
        }
    }

private:
    std::function<LabOptions()> options_;
    Lab*& lab_;
    bool& inLab_;
    std::string* scratch_;
    std::string pattern_;
};

// A test against that lab: each starts on a fresh fleet, so that nothing one
// test changed reaches the next, and keeps the fleet as it was then.
class FleetTest : public ::testing::Test {
protected:
    FleetTest(Lab*& lab, bool& inLab, std::function<LabOptions()> fleet)
        : lab_(lab), inLab_(inLab), fleet_(std::move(fleet)) {}

    void SetUp() override {
        ASSERT_TRUE(inLab_) << "the lab is not up";
        std::string err;
        const LabOptions options = fleet_();
        ASSERT_TRUE(lab_->Up(options, &err)) << err;
        dump_ = Dump();
        ASSERT_EQ(dump_.devices.size(), static_cast<size_t>(options.devices));
    }

    // The state of every device right now.
    SimDump Dump() const {
        std::string err;
        auto dump = lab_->Dump(&err);
        EXPECT_TRUE(dump) << err;
        return dump ? *dump : SimDump{};
    }
    // Device `index` as the test started.
    const SimDevice& Dev(int index) const { return dump_.devices.at(static_cast<size_t>(index)); }

    // Trace lines written after `from` lines; the simulator traces what it
    // received as it arrives, so a short settling pause lets the last
    // datagrams of a finished run reach the file.
    size_t TraceMark() const { return lab_->Trace().size(); }
    std::vector<TraceLine> TraceSince(size_t from) const {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::vector<TraceLine> all = lab_->Trace();
        all.erase(all.begin(),
                  all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())));
        return all;
    }

    SimDump dump_;

private:
    Lab*& lab_;
    bool& inLab_;
    std::function<LabOptions()> fleet_;
};

}  // namespace kestrix::labkit
