// What the settings dialogs' buttons store, save and queue.
#include "record/dialog_actions.h"

#include <gtest/gtest.h>

#include "support/fake_link.h"

#include "link/port.h"
#include "protocol/receiver.h"

namespace vorda {
namespace {

using DialogActions = test::FakeLinkTest;

TEST(LightField, APlainUnsignedNumberOrZero) {
    EXPECT_EQ(lightFieldValue("200"), 200u);
    EXPECT_EQ(lightFieldValue("300"), 300u);
    EXPECT_EQ(lightFieldValue(""), 0u);
    EXPECT_EQ(lightFieldValue("-5"), 0u);
    EXPECT_EQ(lightFieldValue("12a"), 0u);
    EXPECT_EQ(lightFieldValue("99999999999999"), 0xFFFFFFFFu);
}

TEST_F(DialogActions, NoCommStoresPortZeroAndTheLogSwitchFollowsTheBox) {
    TransmissionChoice c;
    c.portText = "No Comm";
    c.portIndex = 0;
    c.baudIndex = 10;
    c.dataBitsIndex = 2;
    c.parityIndex = 1;
    c.stopBitsIndex = 2;
    c.logToFile = true;
    applyTransmissionSettings(core, c);
    EXPECT_EQ(core.record->portNumber, 0);
    EXPECT_EQ(core.record->baudRate, 56000u);
    EXPECT_EQ(core.record->dataBits, 7);
    EXPECT_EQ(core.record->parity, 2);  // "Even"
    EXPECT_EQ(core.record->stopBits, 2);
    EXPECT_EQ(core.loggingSwitch, 1);
    EXPECT_EQ(test::readFile(dir.file("VordaCen.ini")).substr(0, 22),
              "0\r\n56000\r\n7\r\n2\r\n2\r\n1\r\n");
}

TEST_F(DialogActions, NothingSelectedKeepsTheRecordsValues) {
    core.record->baudRate = 115200;
    core.record->parity = 4;
    TransmissionChoice c;
    c.portText = "COM12";
    c.portIndex = 3;
    applyTransmissionSettings(core, c);
    EXPECT_EQ(core.record->baudRate, 115200u);
    EXPECT_EQ(core.record->parity, 4);
    EXPECT_EQ(core.record->portNumber, 12);
    EXPECT_EQ(core.record->portListIndex, 3);
}

TEST_F(DialogActions, RefusedSettingsOnAnOpenPortAreReported) {
    ASSERT_TRUE(openPort(core));
    serial.refuseSettings = true;
    EXPECT_FALSE(reapplyPortSettings(core));
    EXPECT_EQ(ui->messages(), std::vector<std::string>{"Settings failed! | Vorda Cen"});
    EXPECT_EQ(core.record->connected, 1);
}

TEST_F(DialogActions, OnlyPortsThatOpenAsSerialPortsOrAreInUseArePresent) {
    serial.openError = OpenError::AccessDenied;  // every port in use
    EXPECT_EQ(presentPorts(core).size(), 255u);
    serial.openError = OpenError::NotFound;
    EXPECT_TRUE(presentPorts(core).empty());
    serial.openError = OpenError::None;
    serial.notSerial = true;  // every name opens, as something else
    EXPECT_TRUE(presentPorts(core).empty());
    EXPECT_EQ(serial.openPorts, 0);
}

TEST_F(DialogActions, SendQueuesTheGroupWithSlotThirtyNextAndSaves) {
    ASSERT_TRUE(openPort(core));
    LightFields f;
    f.fields[8] = "10";
    f.fields[9] = "200";
    f.fields[10] = "300";
    f.fields[11] = "";
    f.autoBacklight = true;
    sendLightSettings(core, f);
    EXPECT_EQ(slotText(core, 30), "20l10");
    EXPECT_EQ(slotText(core, 31), "20o200");
    EXPECT_EQ(slotText(core, 32), "20L255");  // 300 is ignored: the previous value goes
    EXPECT_EQ(slotText(core, 33), "20O0");
    EXPECT_EQ(slotText(core, 35), "20A1");
    EXPECT_EQ(slotText(core, 39), "20E");
    EXPECT_EQ(core.mailbox.lastServedSlot, 8);
    EXPECT_EQ(core.record->autoBacklight, 1);
    const std::string saved = test::readFile(dir.file("VordaCen.ini"));
    EXPECT_NE(saved.find("\r\n10\r\n200\r\n255\r\n0\r\n1\r\n0\r\nAAA"), std::string::npos);
}

TEST_F(DialogActions, OkStoresTheHiddenDisplayValuesAndSendsNothing) {
    LightFields f;
    f.fields[0] = "7";
    f.fields[4] = "999";
    f.fields[8] = "5";
    applyLightSettings(core, f);
    EXPECT_EQ(core.light.display1LowLightLevel, 7);
    EXPECT_EQ(core.light.display2LowLightLevel, 255);
    EXPECT_EQ(core.light.lowLightLevel, 5);
    EXPECT_EQ(core.light.display1LowLevelBrightness, 0);  // empty counts as 0
    for (int n = 1; n <= kSlotCount; ++n) {
        EXPECT_FALSE(slotPending(core, n));
    }
    EXPECT_TRUE(serial.opened.empty());
}

TEST_F(DialogActions, ProgramSettingsCutDescriptionsToFifteenCharacters) {
    const std::string texts[5] = {"Benzyna 95 Super Plus", "", "LPG", "ON", "\xA3\xF3\x64\xBC"};
    const uint32_t colours[5] = {1, 2, 3, 4, 5};
    applyProgramSettings(core, texts, colours, true);
    EXPECT_STREQ(core.labels.priceLabelText[0], "Benzyna 95 Supe");
    EXPECT_STREQ(core.labels.priceLabelText[1], "");
    EXPECT_EQ(core.labels.priceLabelColour[4], 5u);
    EXPECT_EQ(core.record->hideOnMinimise, 1);
    EXPECT_NE(
        test::readFile(dir.file("VordaCen.ini")).find("\r\n1\r\nBenzyna 95 Supe\r\n1\r\n\r\n2\r\n"),
        std::string::npos);
}

}  // namespace
}  // namespace vorda
