// A core with a record, a recording serial driver and a recording panel, for the tests
// of the link's rules; whatever the test opened or started is closed and waited for.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "common/fake_ui.h"
#include "link/port.h"
#include "protocol/receiver.h"
#include "protocol/sender.h"
#include "support/fake_serial.h"
#include "support/test_support.h"

namespace vorda::test {

class FakeLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prepareCore(core, dir.path(), &clock);
        core.serial = serial.driver();
        ui = std::make_unique<FakeUi>(core);
    }
    void TearDown() override {
        stopSender(core);
        closePort(core);
        stopReceiver(core);
    }

    TempDir dir;
    FixedClock clock;
    FakeSerial serial;
    Core core;
    std::unique_ptr<FakeUi> ui;
};

}  // namespace vorda::test
