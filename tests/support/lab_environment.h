#pragma once
// One lab for a whole GoogleTest program: brought up with the program's
// fleet before the first test, the process moved into the lab's host
// namespace for good, and taken down after the last test. A test program
// registers it once:
//
//   const auto* const kLab = ::testing::AddGlobalTestEnvironment(
//       new labkit::LabEnvironment(Fleet, gLab, gInLab));

#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/labkit.h"

namespace kestrix::labkit {

class LabEnvironment : public ::testing::Environment {
public:
    // `lab` and `inLab` are the program's own handles on the lab; they are
    // set while the lab is up.
    LabEnvironment(std::function<LabOptions()> options, Lab*& lab, bool& inLab)
        : options_(std::move(options)), lab_(lab), inLab_(inLab) {}

    void SetUp() override {
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
    }

private:
    std::function<LabOptions()> options_;
    Lab*& lab_;
    bool& inLab_;
};

}  // namespace kestrix::labkit
