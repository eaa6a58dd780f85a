// Splitting received bytes into messages, across polling passes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/receive.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> handed;  // every message handed over, in order

void record(const uint8_t* message, int length) {
    handed.emplace_back(message, message + length);
}

class ReceiveTest : public ::testing::Test {
protected:
    void SetUp() override { handed.clear(); }
    // One polling pass: this pass's bytes, then the complete frames.
    size_t pass(const Bytes& bytes) {
        appendReceived(buffer, bytes.data(), int(bytes.size()));
        return handleCompleteFrames(buffer, record);
    }
    ReceiveBuffer buffer;
};

Bytes frame(const Bytes& message) {
    Bytes bytes{0, 0, 0, uint8_t(message.size())};
    bytes.insert(bytes.end(), message.begin(), message.end());
    return bytes;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(ReceiveTest, TwoFramesOfOnePassAreHandedInOrder) {
    EXPECT_EQ(pass(join({frame({0, 20}), frame({3, 1, 'B', 'o', 'b'})})), 0u);
    EXPECT_EQ(handed, (std::vector<Bytes>{{0, 20}, {3, 1, 'B', 'o', 'b'}}));
}

TEST_F(ReceiveTest, OnlyTheFourthHeaderByteCountsAsLength) {
    Bytes bytes{0xFF, 0x12, 0x01, 2, 0, 7, 0x80, 0x00, 0xFF, 3, 5, 12, 4};
    EXPECT_EQ(pass(bytes), 0u);
    EXPECT_EQ(handed, (std::vector<Bytes>{{0, 7}, {5, 12, 4}}));
}

TEST_F(ReceiveTest, EmptyAndOneByteFramesAreHandedOver) {
    EXPECT_EQ(pass(join({frame({}), frame({9}), frame({0, 2})})), 0u);
    EXPECT_EQ(handed, (std::vector<Bytes>{{}, {9}, {0, 2}}));
}

TEST_F(ReceiveTest, FrameSplitOverTwoPassesIsCompletedLater) {
    Bytes whole = join({frame({0, 19, 'h', 'i'}), frame({0, 2})});
    // First pass: the first frame's header and part of its message.
    EXPECT_EQ(pass(Bytes(whole.begin(), whole.begin() + 6)), 6u);
    EXPECT_TRUE(handed.empty());
    EXPECT_EQ(pass(Bytes(whole.begin() + 6, whole.end())), 0u);
    EXPECT_EQ(handed, (std::vector<Bytes>{{0, 19, 'h', 'i'}, {0, 2}}));
}

TEST_F(ReceiveTest, FrameSplitOverThreePassesInsideItsHeader) {
    Bytes message(255, 0);
    for (size_t i = 0; i < message.size(); ++i) message[i] = uint8_t(i);
    Bytes whole = join({frame({0, 10}), frame(message), frame({0, 5})});
    // Pass 1 ends inside the second header, pass 2 inside its message.
    EXPECT_EQ(pass(Bytes(whole.begin(), whole.begin() + 8)), 2u);
    EXPECT_EQ(handed.size(), 1u);
    EXPECT_EQ(pass(Bytes(whole.begin() + 8, whole.begin() + 100)), 94u);
    EXPECT_EQ(handed.size(), 1u);
    EXPECT_EQ(pass(Bytes(whole.begin() + 100, whole.end())), 0u);
    EXPECT_EQ(handed, (std::vector<Bytes>{{0, 10}, message, {0, 5}}));
}

TEST_F(ReceiveTest, EveryCutOfAStreamGivesTheSameMessages) {
    std::vector<Bytes> messages{{0, 20}, {}, {4, 4, 1, 2, 3}, {7}, Bytes(200, 0xAB), {0, 17, 1, 0, 2}};
    Bytes whole;
    for (const Bytes& message : messages) whole = join({whole, frame(message)});
    for (size_t first = 0; first <= whole.size(); ++first) {
        for (size_t second = first; second <= whole.size(); second += 7) {
            handed.clear();
            clearReceived(buffer);
            pass(Bytes(whole.begin(), whole.begin() + long(first)));
            pass(Bytes(whole.begin() + long(first), whole.begin() + long(second)));
            EXPECT_EQ(pass(Bytes(whole.begin() + long(second), whole.end())), 0u);
            ASSERT_EQ(handed, messages) << "cut at " << first << " and " << second;
        }
    }
}

TEST_F(ReceiveTest, SplitFramesReportsWhereTheIncompleteFrameStarts) {
    Bytes bytes = join({frame({0, 2}), Bytes{0, 0, 0, 9, 0, 1}});
    EXPECT_EQ(splitFrames(bytes.data(), bytes.size(), record), 6u);
    EXPECT_EQ(splitFrames(bytes.data(), 3, record), 0u);
    EXPECT_EQ(splitFrames(nullptr, 0, record), 0u);
    EXPECT_EQ(handed, (std::vector<Bytes>{{0, 2}}));
}

}  // namespace
