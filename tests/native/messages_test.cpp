#include "record/messages.h"

#include <gtest/gtest.h>

namespace vorda {
namespace {

TEST(MessageTexts, DefaultsAreTheStringTableTexts) {
    EXPECT_EQ(messageText(Text::Title), "Vorda Cen");
    EXPECT_EQ(messageText(Text::ConfirmClose), "Czy zamknąć program?");
    EXPECT_EQ(messageText(Text::LeaveTestMode), "Wyłącz tryb testu !   ");
    EXPECT_EQ(messageText(Text::ScriptNeedsLink),
              "Rozłączony !\nSkrypt wymaga stałego połączenia\n'Akcja->Połącz'");
}

TEST(MessageTexts, ReplacedTextIsCutToItsBufferWithoutSplittingACharacter) {
    // 40 characters, each two bytes in UTF-8: only 31 fit a 32-character buffer.
    std::string longText;
    for (int i = 0; i < 40; ++i) {
        longText += "ł";
    }
    setMessageText(Text::Disconnected, longText);
    EXPECT_EQ(messageText(Text::Disconnected).size(), 31u * 2u);
    setMessageText(Text::Disconnected, defaultMessageText(Text::Disconnected));
    EXPECT_EQ(messageText(Text::Disconnected), "ROZŁĄCZONY");
}

TEST(MessageTexts, LongMessagesHaveTheirLargerBuffers) {
    EXPECT_EQ(messageBufferSize(Text::AutoBacklight), 128);
    EXPECT_EQ(messageBufferSize(Text::ScriptNeedsLink), 128);
    EXPECT_EQ(messageBufferSize(Text::Error), 32);
}

}  // namespace
}  // namespace vorda
