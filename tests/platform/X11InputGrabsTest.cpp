// Keyboard and pointer grabs on the virtual desktop: both or neither, refusals named without
// the protocol's status numbers, and a release that lets other programs grab again.

#include "X11Connection.h"
#include "X11InputGrabs.h"

#include <gtest/gtest.h>

#include <memory>

using namespace quandrel;
using namespace quandrel::x11;

namespace {

class X11InputGrabsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ours = X11Connection::open();
        theirs = X11Connection::open();
        ASSERT_TRUE(ours && theirs) << "no X display";
    }

    // An override-redirect window (the window manager leaves it alone, as it does an overlay),
    // mapped and viewable when asked for.
    static xcb_window_t makeWindow(X11Connection& connection, bool mapped)
    {
        xcb_connection_t* c = connection.xcb();
        const xcb_window_t w = xcb_generate_id(c);
        const std::uint32_t values[] = {1, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, connection.root(), 10, 10, 50, 50, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        if (mapped) {
            xcb_map_window(c, w);
            const bool shown = connection.waitForEvent(
                [w](xcb_generic_event_t* e) {
                    return (e->response_type & 0x7f) == XCB_MAP_NOTIFY && reinterpret_cast<xcb_map_notify_event_t*>(e)->window == w;
                },
                std::chrono::seconds(5));
            EXPECT_TRUE(shown);
        }
        connection.flush();
        return w;
    }

    // A round trip: the server has handled everything the connection sent, a release too,
    // before another client asks for anything.
    static void sync(X11Connection& connection)
    {
        xcb_connection_t* c = connection.xcb();
        Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }

    std::unique_ptr<X11Connection> ours;
    std::unique_ptr<X11Connection> theirs;
};

} // namespace

TEST_F(X11InputGrabsTest, GrabsAreExclusiveUntilReleasedAndNeedAWindowOnScreen)
{
    X11InputGrabs grabs(ours->xcb());
    X11InputGrabs other(theirs->xcb());
    const xcb_window_t window = makeWindow(*ours, true);
    const xcb_window_t theirWindow = makeWindow(*theirs, true);

    EXPECT_FALSE(grabs.isGrabbed());
    EXPECT_EQ(grabs.grab(window), InputGrabError::none);
    EXPECT_TRUE(grabs.isGrabbed());
    EXPECT_EQ(other.grab(theirWindow), InputGrabError::heldByOtherProgram);
    EXPECT_FALSE(other.isGrabbed());

    // A second grab of ours replaces the first.
    EXPECT_EQ(grabs.grab(window), InputGrabError::none);

    grabs.release();
    sync(*ours);
    EXPECT_FALSE(grabs.isGrabbed());
    EXPECT_EQ(other.grab(theirWindow), InputGrabError::none);
    EXPECT_EQ(grabs.grab(window), InputGrabError::heldByOtherProgram);
    // Their grab goes with the object.
    {
        X11InputGrabs scoped(theirs->xcb());
        other.release();
        EXPECT_EQ(scoped.grab(theirWindow), InputGrabError::none);
    }
    sync(*theirs);
    EXPECT_EQ(grabs.grab(window), InputGrabError::none);
    grabs.release();
    sync(*ours);

    // A window not on the screen cannot be grabbed for.
    EXPECT_EQ(grabs.grab(makeWindow(*ours, false)), InputGrabError::windowNotViewable);
    EXPECT_FALSE(grabs.isGrabbed());
    // Neither half was kept: another program grabs both at once.
    EXPECT_EQ(other.grab(theirWindow), InputGrabError::none);
    other.release();
    sync(*theirs);
    // A window that never existed is refused, not a crash.
    EXPECT_EQ(grabs.grab(0x7fffff0), InputGrabError::refused);
    EXPECT_FALSE(grabs.isGrabbed());
}
