#include "pump/service_telegram.h"

#include <gtest/gtest.h>

#include <vector>

#include "pump/service_codes.h"

TEST(ServiceTelegramView, RefusesMessagesWithoutCode) {
    for (std::size_t size = 0; size < service_telegram::kHeaderSize; ++size) {
        const std::vector<uint8_t> bytes(size, 0xAA);
        EXPECT_FALSE(ServiceTelegramView::parse(bytes).has_value()) << size << " bytes";
    }
}

TEST(ServiceTelegramView, LittleEndianArgumentsCodeAndBody) {
    // Reply 146: address 0x00BF, data word 0xBEEF, valid.
    const std::vector<uint8_t> bytes = {0xBF, 0x00, 0x00, 0x00, 0xEF, 0xBE, 0x01, 146, 0x11, 0x22};
    const auto view = ServiceTelegramView::parse(bytes);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->longArg(), 0xBFu);
    EXPECT_EQ(view->wordArg(), 0xBEEF);
    EXPECT_EQ(view->byteArg(), service_arg::kEepromWordValid);
    EXPECT_EQ(view->code(), service_code::kReadEepromWord);
    ASSERT_EQ(view->body().size(), 2u);
    EXPECT_EQ(view->body()[0], 0x11);
    EXPECT_EQ(view->body()[1], 0x22);
    EXPECT_EQ(view->size(), bytes.size());
}

TEST(ServiceTelegramView, ShortTelegramHasEmptyBody) {
    const std::vector<uint8_t> bytes = {0x78, 0x56, 0x34, 0x12, 0, 0, 0, 148};
    const auto view = ServiceTelegramView::parse(bytes);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->longArg(), 0x12345678u);
    EXPECT_TRUE(view->body().empty());
}

TEST(ServiceTelegram, EncodeRoundTrip) {
    const ServiceTelegram command{600000, 0x0102, service_arg::kValveOpen,
                                  service_code::kSetDosingValve};
    const auto bytes = command.encode();
    EXPECT_EQ(bytes[0], 0xC0);  // 600000 = 0x000927C0
    EXPECT_EQ(bytes[1], 0x27);
    EXPECT_EQ(bytes[2], 0x09);
    EXPECT_EQ(bytes[3], 0x00);
    EXPECT_EQ(bytes[4], 0x02);
    EXPECT_EQ(bytes[5], 0x01);
    const auto view = ServiceTelegramView::parse(bytes);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->longArg(), command.longArg);
    EXPECT_EQ(view->wordArg(), command.wordArg);
    EXPECT_EQ(view->byteArg(), command.byteArg);
    EXPECT_EQ(view->code(), command.code);
}

TEST(ServiceTelegram, EncodeIntoRefusesShortBuffer) {
    std::vector<uint8_t> small(7, 0xEE);
    EXPECT_FALSE((ServiceTelegram{1, 2, 3, 4}.encodeInto(small)));
    EXPECT_EQ(small, std::vector<uint8_t>(7, 0xEE));
    std::vector<uint8_t> big(20, 0xEE);
    EXPECT_TRUE((ServiceTelegram{1, 2, 3, 4}.encodeInto(big)));
    EXPECT_EQ(big[7], 4);
    EXPECT_EQ(big[8], 0xEE);  // the body is left alone
}
