#include <gtest/gtest.h>

#include "link/port_device.h"

namespace tandrel::link {
namespace {

TEST(PortNotice, FilterBytes) {
    const TNotificationFilter filter = PortNotificationFilter();
    ASSERT_EQ(filter.Bytes.size(), 32u);
    // Offset, byte: the size 32 and the device type 3 as little-endian words, then zeros.
    struct Row {
        std::size_t offset;
        std::uint8_t value;
    } rows[] = {{0, 32}, {1, 0}, {2, 0}, {3, 0}, {4, 3}, {5, 0}, {6, 0}, {7, 0}};
    for (const Row& r : rows) EXPECT_EQ(filter.Bytes[r.offset], r.value) << r.offset;
    for (std::size_t i = 8; i < filter.Bytes.size(); ++i) EXPECT_EQ(filter.Bytes[i], 0) << i;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(filter.Bytes.data()) % 4, 0u);
}

}  // namespace
}  // namespace tandrel::link
