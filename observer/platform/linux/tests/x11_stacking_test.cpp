// The root's stacking order as the server's events change it, without a server: the
// window list without a window manager is read off this order.
#include "observer/platform/linux/x11_stacking.h"

#include <gtest/gtest.h>

#include <vector>

namespace observer::platform::x11 {
namespace {

using Windows = std::vector<xcb_window_t>;

StackingOrder stackOf(const Windows& bottomFirst) {
    StackingOrder order;
    for (const xcb_window_t window : bottomFirst) order.add(window);
    return order;
}

TEST(StackingOrderTest, NewChildrenGoOnTopAndKnownOnesKeepTheirPlace) {
    StackingOrder order = stackOf({1, 2, 3});
    order.add(2);
    EXPECT_EQ(order.bottomFirst(), (Windows{1, 2, 3}));
    order.remove(2);
    order.remove(9);
    EXPECT_EQ(order.bottomFirst(), (Windows{1, 3}));
    EXPECT_TRUE(order.contains(3));
    EXPECT_FALSE(order.contains(2));
}

// A configure event names the sibling that the window now lies just above.
TEST(StackingOrderTest, RestackPutsAWindowRightAboveItsSiblingOrAtTheBottom) {
    StackingOrder order = stackOf({1, 2, 3, 4});
    order.restack(4, 1);
    EXPECT_EQ(order.bottomFirst(), (Windows{1, 4, 2, 3}));
    order.restack(1, 3);
    EXPECT_EQ(order.bottomFirst(), (Windows{4, 2, 3, 1}));
    order.restack(3, XCB_WINDOW_NONE);
    EXPECT_EQ(order.bottomFirst(), (Windows{3, 4, 2, 1}));
    // A sibling the mirror has not heard of yet: the window was raised over everything known.
    order.restack(4, 77);
    EXPECT_EQ(order.bottomFirst(), (Windows{3, 2, 1, 4}));
    // An inner window's configure event changes nothing here.
    order.restack(55, 3);
    EXPECT_EQ(order.bottomFirst(), (Windows{3, 2, 1, 4}));
}

TEST(StackingOrderTest, CirculateRaisesToTheTopOrLowersToTheBottom) {
    StackingOrder order = stackOf({1, 2, 3});
    order.circulate(1, true);
    EXPECT_EQ(order.bottomFirst(), (Windows{2, 3, 1}));
    order.circulate(1, false);
    EXPECT_EQ(order.bottomFirst(), (Windows{1, 2, 3}));
    order.circulate(8, true);
    EXPECT_EQ(order.bottomFirst(), (Windows{1, 2, 3}));
}

}  // namespace
}  // namespace observer::platform::x11
