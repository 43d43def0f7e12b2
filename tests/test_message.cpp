// The message record: its two byte layouts, the space rules of serialize,
// every decoding result, the print line, the unique key and deep copies.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <ostream>
#include <vector>

#include "wire/Message.h"
#include "TestMessages.h"

using ORQ::Message;
using ORQ::test::layoutOf;
using ORQ::test::makeMessage;
using ORQ::test::payloadOf;
using Bytes = std::vector<uint8_t>;
using testing::ElementsAreArray;

namespace {

// ---------------------------------------------------------------- layouts

struct LayoutCase {
    const char* name;
    Message (*build)();
    Bytes expected;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

Message defaultMessage() { return Message(); }
Message fullExample() { return makeMessage(5, 1, 2, 0, {0x10}, /*priority*/ 1); }
Message smalExample() { return makeMessage(0x10, 1, 2, 0, {0xFD, 0x20}); }
Message notUniqueGoesFull() { return makeMessage(1, 2, 3, 4, {}, 0, 0, /*unique*/ false); }
Message ttlGoesFull() { return makeMessage(7, 8, 9, 1, {0xAA, 0x55}, 0, /*ttl*/ 3); }
// The action flag belongs to the send queue: the bytes are those without it.
template <Message (*build)()>
Message asAction() {
    Message m = build();
    m.properties.action = 1;
    return m;
}

const LayoutCase layoutCases[] = {
    {"DefaultMessageIsSmallest", defaultMessage, {0x03, 0x00, 0x00, 0x00, 0x00, 0x03}},
    {"PriorityChoosesFull", fullExample, {0x02, 0x05, 0x01, 0x02, 0x01, 0x01, 0x00, 0x01, 0x00, 0x10, 0x15}},
    {"UniqueDefaultsChooseSmal", smalExample, {0x03, 0x10, 0x01, 0x02, 0x00, 0xFD, 0x20, 0xCD}},
    {"NotUniqueChoosesFull", notUniqueGoesFull, {0x02, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x04, 0x06}},
    {"TtlChoosesFull", ttlGoesFull, {0x02, 0x07, 0x08, 0x09, 0x02, 0x00, 0x03, 0x01, 0x01, 0xAA, 0x55, 0xFA}},
    {"ActionKeepsTheSmalBytes", asAction<smalExample>, {0x03, 0x10, 0x01, 0x02, 0x00, 0xFD, 0x20, 0xCD}},
    {"ActionKeepsTheFullBytes", asAction<notUniqueGoesFull>, {0x02, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x04, 0x06}},
};

class MessageLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(MessageLayout, SerializesToTheExpectedBytesAndStoresTheCheckByte) {
    Message m = GetParam().build();
    const Bytes layout = layoutOf(m);
    EXPECT_THAT(layout, ElementsAreArray(GetParam().expected));
    EXPECT_EQ(m.crc, GetParam().expected.back());
}

TEST_P(MessageLayout, DecodesBackToTheSameMessage) {
    Message original = GetParam().build();
    Bytes bytes = GetParam().expected;
    Message decoded;
    ASSERT_EQ(decoded.deserialize(bytes.data(), static_cast<uint8_t>(bytes.size())), Message::DECODE_OK);
    EXPECT_EQ(decoded.dataType, original.dataType);
    EXPECT_EQ(decoded.senderID, original.senderID);
    EXPECT_EQ(decoded.receiverID, original.receiverID);
    EXPECT_EQ(decoded.channel, original.channel);
    EXPECT_EQ(decoded.priority, original.priority);
    EXPECT_EQ(decoded.ttl, original.ttl);
    EXPECT_EQ(decoded.properties.unique, original.properties.unique);
    EXPECT_EQ(payloadOf(decoded), payloadOf(original));
    EXPECT_EQ(decoded.crc, bytes.back());
}

INSTANTIATE_TEST_SUITE_P(Layouts, MessageLayout, testing::ValuesIn(layoutCases),
                         [](const testing::TestParamInfo<LayoutCase>& p) { return p.param.name; });

TEST(MessageDefaults, FreshMessageIsUniqueAndEmpty) {
    Message m;
    EXPECT_EQ(m.properties.unique, 1u);
    EXPECT_EQ(m.dataSize, 0);
    EXPECT_EQ(m.priority, 0);
    EXPECT_EQ(m.ttl, 0);
    EXPECT_EQ(m.channel, 0);
    EXPECT_EQ(m.crc, 0);
}

TEST(MessageLayoutBits, ReservedPropertyBitsAreIgnoredWhenDecoding) {
    Bytes bytes{0x02, 0x05, 0x01, 0x02, 0x00, 0x00, 0x00, 0xFE, 0x00};
    uint8_t x = 0;
    for (uint8_t b : bytes) x ^= b;
    bytes.push_back(x);
    Message m;
    ASSERT_EQ(m.deserialize(bytes.data(), static_cast<uint8_t>(bytes.size())), Message::DECODE_OK);
    EXPECT_EQ(m.properties.unique, 0u);
}

// ------------------------------------------------------- space and size

struct SpaceCase {
    const char* name;
    uint8_t dataSize;
    bool full;
    int maxBufferSize;  // relative values are resolved in the test
    uint8_t expectedLength;
};

void PrintTo(const SpaceCase& c, std::ostream* os) { *os << c.name; }

const SpaceCase spaceCases[] = {
    {"SmalNeedsSizePlus8", 10, false, 10 + 7, 0},
    {"SmalFitsAtSizePlus8", 10, false, 10 + 8, 16},
    {"FullRefusedAtSizePlus8", 10, true, 10 + 8, 0},
    {"FullRefusedAtSizePlus9", 10, true, 10 + 9, 0},
    {"FullFitsAtSizePlus10", 10, true, 10 + 10, 20},
    {"SmalPayload56FitsTheSerializationBuffer", 56, false, 64, 62},
    {"SmalPayload57DoesNotFitTheSerializationBuffer", 57, false, 64, 0},
    {"FullPayload54FitsTheSerializationBuffer", 54, true, 64, 64},
    {"FullPayload55DoesNotFitTheSerializationBuffer", 55, true, 64, 0},
    {"PayloadAbove247IsRefusedEvenWithRoom", 248, false, 255, 0},
    {"Payload247IsAccepted", 247, false, 255, 253},
};

class MessageSpace : public testing::TestWithParam<SpaceCase> {};

TEST_P(MessageSpace, RefusesWithoutWritingOrWritesTheWholeLayout) {
    const SpaceCase& c = GetParam();
    Message m = makeMessage(1, 2, 3, 0, Bytes(c.dataSize, 0x11), c.full ? 1 : 0);
    uint8_t buffer[256];
    std::memset(buffer, 0xAA, sizeof(buffer));
    const uint8_t length = m.serialize(buffer, static_cast<uint8_t>(c.maxBufferSize));
    EXPECT_EQ(length, c.expectedLength);
    // Nothing is written past the reported length (nothing at all on refusal).
    for (size_t i = length; i < sizeof(buffer); ++i) ASSERT_EQ(buffer[i], 0xAA) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Space, MessageSpace, testing::ValuesIn(spaceCases),
                         [](const testing::TestParamInfo<SpaceCase>& p) { return p.param.name; });

// ------------------------------------------------------------- decoding

struct DecodeCase {
    const char* name;
    Bytes bytes;
    uint8_t expectedCode;
    std::string expectedOutput;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

const DecodeCase decodeCases[] = {
    {"SmalWithoutPayload", {0x03, 0x01, 0x02, 0x03, 0x04, 0x03 ^ 0x01 ^ 0x02 ^ 0x03 ^ 0x04}, Message::DECODE_OK, ""},
    {"SmalOfFiveBytesIsTooShort", {0x03, 0x01, 0x02, 0x03, 0x04}, Message::DECODE_TOO_SHORT, ""},
    {"FullOfSixBytesIsTooShort", {0x02, 0x00, 0x00, 0x00, 0x00, 0x02}, Message::DECODE_TOO_SHORT, ""},
    {"FullOfSevenBytes", {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, Message::DECODE_BAD_SIZE,
     "[Message] deserialize: ERROR size !!! bufferSize 7 != 10(real size)\n"},
    {"FullOfEightBytes", {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}, Message::DECODE_BAD_SIZE,
     "[Message] deserialize: ERROR size !!! bufferSize 8 != 10(real size)\n"},
    {"FullOfNineBytes", {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}, Message::DECODE_BAD_SIZE,
     "[Message] deserialize: ERROR size !!! bufferSize 9 != 10(real size)\n"},
    {"FullLongerThanItsSize", {0x02, 0x05, 0x01, 0x02, 0x01, 0x01, 0x00, 0x01, 0x00, 0x10, 0x20, 0x15},
     Message::DECODE_BAD_SIZE, "[Message] deserialize: ERROR size !!! bufferSize 12 != 11(real size)\n"},
    {"FullSizeByteAbove245", {0x02, 0x05, 0x01, 0x02, 0xFF, 0x01, 0x00, 0x01, 0x00, 0x10, 0x15},
     Message::DECODE_BAD_SIZE, "[Message] deserialize: ERROR size !!! bufferSize 11 != 265(real size)\n"},
    {"FullWithWrongCheckByte", {0x02, 0x05, 0x01, 0x02, 0x01, 0x01, 0x00, 0x01, 0x00, 0x10, 0x16},
     Message::DECODE_BAD_CRC, ""},
    {"SmalWithWrongCheckByte", {0x03, 0x10, 0x01, 0x02, 0x00, 0xFD, 0x20, 0xCE}, Message::DECODE_BAD_CRC, ""},
    {"FirstByteZero", {0x00, 0x10, 0x01, 0x02, 0x00, 0x13}, Message::DECODE_BAD_MAGIC, ""},
    {"FirstByteFour", {0x04, 0x10, 0x01, 0x02, 0x00, 0x17}, Message::DECODE_BAD_MAGIC, ""},
};

class MessageDecoding : public testing::TestWithParam<DecodeCase> {};

TEST_P(MessageDecoding, ReturnsItsCodeAndLogsOnlyALengthMismatch) {
    const DecodeCase& c = GetParam();
    Bytes bytes = c.bytes;
    Message m;
    testing::internal::CaptureStdout();
    const uint8_t code = m.deserialize(bytes.data(), static_cast<uint8_t>(bytes.size()));
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, c.expectedCode);
    EXPECT_EQ(output, c.expectedOutput);
}

INSTANTIATE_TEST_SUITE_P(Codes, MessageDecoding, testing::ValuesIn(decodeCases),
                         [](const testing::TestParamInfo<DecodeCase>& p) { return p.param.name; });

TEST(MessageDecodingState, RejectedMagicLeavesTheMessageUnchanged) {
    Message m = makeMessage(9, 8, 7, 6, {1, 2, 3});
    Bytes bytes{0x00, 0x10, 0x01, 0x02, 0x00, 0x13};
    ASSERT_EQ(m.deserialize(bytes.data(), static_cast<uint8_t>(bytes.size())), Message::DECODE_BAD_MAGIC);
    EXPECT_EQ(m.dataType, 9);
    EXPECT_EQ(m.senderID, 8);
    EXPECT_EQ(payloadOf(m), (Bytes{1, 2, 3}));
}

TEST(MessageDecodingState, DecodingReplacesAnOldPayload) {
    Message m = makeMessage(9, 8, 7, 6, {1, 2, 3, 4, 5});
    Bytes bytes{0x03, 0x10, 0x01, 0x02, 0x00, 0xFD, 0x20, 0xCD};
    ASSERT_EQ(m.deserialize(bytes.data(), static_cast<uint8_t>(bytes.size())), Message::DECODE_OK);
    EXPECT_EQ(payloadOf(m), (Bytes{0xFD, 0x20}));
    EXPECT_EQ(m.dataType, 0x10);
}

TEST(MessageDecodingState, SizeMismatchKeepsTheSizeOfTheBlockStillHeld) {
    // The header claims 40 payload bytes but the buffer ends early: the old
    // block stays, and dataSize must keep describing it.
    Message m = makeMessage(9, 8, 7, 6, {1, 2, 3});
    Bytes bytes{0x02, 0x05, 0x01, 0x02, 40, 0x01, 0x00, 0x01, 0x00, 0x10, 0x15};
    testing::internal::CaptureStdout();
    ASSERT_EQ(m.deserialize(bytes.data(), static_cast<uint8_t>(bytes.size())), Message::DECODE_BAD_SIZE);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(m.dataType, 5);  // header fields are taken
    EXPECT_EQ(payloadOf(m), (Bytes{1, 2, 3}));
}

TEST(MessageDecodingState, WrongCheckByteStillTakesEveryField) {
    Message m;
    Bytes bytes{0x03, 0x10, 0x01, 0x02, 0x07, 0xFD, 0x20, 0x00};
    ASSERT_EQ(m.deserialize(bytes.data(), static_cast<uint8_t>(bytes.size())), Message::DECODE_BAD_CRC);
    EXPECT_EQ(m.channel, 7);
    EXPECT_EQ(m.crc, 0x00);
    EXPECT_EQ(payloadOf(m), (Bytes{0xFD, 0x20}));
}

TEST(MessageDecodingState, SmalYieldsDefaultPriorityTtlAndUnique) {
    Message m = makeMessage(1, 1, 1, 1, {}, 9, 9, false);
    Bytes bytes{0x03, 0x00, 0x00, 0x00, 0x00, 0x03};
    ASSERT_EQ(m.deserialize(bytes.data(), static_cast<uint8_t>(bytes.size())), Message::DECODE_OK);
    EXPECT_EQ(m.priority, 0);
    EXPECT_EQ(m.ttl, 0);
    EXPECT_EQ(m.properties.unique, 1u);
    EXPECT_EQ(m.dataSize, 0);
}

// ---------------------------------------------------------------- print

struct PrintCase {
    const char* name;
    Message (*build)();
    std::string expected;
};

void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }

Message printWithPayload() { return makeMessage(6, 5, 1, 0, {0, 16, 255}); }

const PrintCase printCases[] = {
    {"WithoutPayload", defaultMessage, "[Message] 0->0 dataType 0 dataSize 0\n"},
    {"WithPayload", printWithPayload, "[Message] 5->1 dataType 6 dataSize 3 0 16 255\n"},
    {"LayoutFieldsDoNotAppear", fullExample, "[Message] 1->2 dataType 5 dataSize 1 16\n"},
};

class MessagePrint : public testing::TestWithParam<PrintCase> {};

TEST_P(MessagePrint, WritesOneLine) {
    Message m = GetParam().build();
    testing::internal::CaptureStdout();
    m.print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, MessagePrint, testing::ValuesIn(printCases),
                         [](const testing::TestParamInfo<PrintCase>& p) { return p.param.name; });

// ------------------------------------------------------------ unique key

struct UniqueCase {
    const char* name;
    void (*change)(Message&);
    bool equal;
};

void PrintTo(const UniqueCase& c, std::ostream* os) { *os << c.name; }

const UniqueCase uniqueCases[] = {
    {"Identical", [](Message&) {}, true},
    {"OtherPayload", [](Message& m) { ORQ::test::setPayload(m, {9, 9, 9}); }, true},
    {"OtherSize", [](Message& m) { ORQ::test::setPayload(m, {}); }, true},
    {"OtherPriority", [](Message& m) { m.priority = 7; }, true},
    {"OtherTtl", [](Message& m) { m.ttl = 7; }, true},
    {"OtherDataType", [](Message& m) { m.dataType++; }, false},
    {"OtherSender", [](Message& m) { m.senderID++; }, false},
    {"OtherReceiver", [](Message& m) { m.receiverID++; }, false},
    {"OtherChannel", [](Message& m) { m.channel++; }, false},
};

class MessageUniqueKey : public testing::TestWithParam<UniqueCase> {};

TEST_P(MessageUniqueKey, ComparesTypeSenderReceiverAndChannelOnly) {
    Message a = makeMessage(31, 1, 5, 2, {1, 2});
    Message b = makeMessage(31, 1, 5, 2, {1, 2});
    GetParam().change(b);
    EXPECT_EQ(a.isEqualForUnique(&b), GetParam().equal);
    EXPECT_EQ(b.isEqualForUnique(&a), GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(Keys, MessageUniqueKey, testing::ValuesIn(uniqueCases),
                         [](const testing::TestParamInfo<UniqueCase>& p) { return p.param.name; });

// ---------------------------------------------------------- deep copies

TEST(MessageCopy, CopyConstructionCopiesEveryFieldIntoItsOwnBlock) {
    Message original = makeMessage(31, 1, 5, 2, {1, 2, 3}, 4, 6, false);
    original.crc = 0x5A;
    Message copy(original);
    EXPECT_EQ(copy.dataType, 31);
    EXPECT_EQ(copy.senderID, 1);
    EXPECT_EQ(copy.receiverID, 5);
    EXPECT_EQ(copy.channel, 2);
    EXPECT_EQ(copy.priority, 4);
    EXPECT_EQ(copy.ttl, 6);
    EXPECT_EQ(copy.crc, 0x5A);
    EXPECT_EQ(copy.properties.unique, 0u);
    EXPECT_EQ(payloadOf(copy), (Bytes{1, 2, 3}));
    ASSERT_NE(copy.data, original.data);
    copy.data[0] = 99;
    EXPECT_EQ(original.data[0], 1);
}

TEST(MessageCopy, AssignmentCopiesEverythingButTheCheckByte) {
    Message source = makeMessage(31, 1, 5, 2, {1, 2, 3}, 4, 6, false);
    source.crc = 0x5A;
    Message target = makeMessage(7, 7, 7, 7, {8, 8, 8, 8, 8});
    target.crc = 0x11;
    target = source;
    EXPECT_EQ(target.dataType, 31);
    EXPECT_EQ(target.senderID, 1);
    EXPECT_EQ(target.receiverID, 5);
    EXPECT_EQ(target.channel, 2);
    EXPECT_EQ(target.priority, 4);
    EXPECT_EQ(target.ttl, 6);
    EXPECT_EQ(target.properties.unique, 0u);
    EXPECT_EQ(target.crc, 0x11);
    EXPECT_EQ(payloadOf(target), (Bytes{1, 2, 3}));
    ASSERT_NE(target.data, source.data);
    target.data[0] = 99;
    EXPECT_EQ(source.data[0], 1);
}

TEST(MessageCopy, AssigningAnEmptyMessageEmptiesThePayload) {
    Message target = makeMessage(7, 7, 7, 7, {8, 8});
    target = Message();
    EXPECT_EQ(target.dataSize, 0);
    EXPECT_EQ(payloadOf(target), Bytes{});
}

TEST(MessageCopy, SelfAssignmentKeepsThePayload) {
    Message m = makeMessage(7, 7, 7, 7, {8, 9});
    Message& alias = m;
    m = alias;
    EXPECT_EQ(payloadOf(m), (Bytes{8, 9}));
}

}  // namespace
