// Event filters on a real X connection: queued events never reach a filter whose owner is
// gone, and filters may come and go in the middle of a dispatch. Run under AddressSanitizer in
// CI, where a call into a destroyed owner is a reported use after free.

#include "X11Connection.h"
#include "X11EventFilter.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace quandrel::x11;

namespace {

class X11EventFilterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        connection = X11Connection::open();
        ASSERT_TRUE(connection) << "no X display";
        xcb_connection_t* c = connection->xcb();
        window = xcb_generate_id(c);
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, connection->root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    }

    // Changes a property `count` times and waits for the server's answer to a later request,
    // so that all the PropertyNotify events sit in the connection's queue, not yet dispatched.
    void queuePropertyEvents(int count)
    {
        xcb_connection_t* c = connection->xcb();
        for (int i = 0; i < count; ++i) {
            const std::uint32_t value = std::uint32_t(i);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_CARDINAL, 32, 1, &value);
        }
        Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }

    static bool isPropertyNotify(xcb_generic_event_t* e) { return (e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY; }

    std::unique_ptr<X11Connection> connection;
    xcb_window_t window = 0;
};

// An owner in the usual shape: state on the heap that its handler writes, the filter last.
class Owner {
public:
    explicit Owner(X11Connection& connection)
        : m_filter(connection, [this](xcb_generic_event_t* e) {
            if ((e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY)
                m_seen->push_back(reinterpret_cast<xcb_property_notify_event_t*>(e)->window);
            return false;
        })
    {
    }
    std::size_t seen() const { return m_seen->size(); }

private:
    std::unique_ptr<std::vector<xcb_window_t>> m_seen = std::make_unique<std::vector<xcb_window_t>>();
    X11EventFilter m_filter;
};

} // namespace

TEST_F(X11EventFilterTest, AnOwnerDestroyedWithEventsQueuedIsNeverCalled)
{
    int witnessed = 0;
    X11EventFilter witness(*connection, [&](xcb_generic_event_t* e) {
        witnessed += isPropertyNotify(e);
        return false;
    });
    auto early = std::make_unique<Owner>(*connection);
    auto late = std::make_unique<Owner>(*connection);

    queuePropertyEvents(3);
    connection->dispatchPending();
    EXPECT_EQ(early->seen(), 3u);
    EXPECT_EQ(late->seen(), 3u);

    // Events for both owners are queued, then both go: the events still reach the witness,
    // which was made first, and nothing reaches the owners.
    queuePropertyEvents(4);
    early.reset();
    late.reset();
    connection->dispatchPending();
    EXPECT_EQ(witnessed, 7);

    // Events queued while an owner lives, dispatched by a wait after it is gone.
    auto waiting = std::make_unique<Owner>(*connection);
    queuePropertyEvents(2);
    waiting.reset();
    EXPECT_FALSE(connection->waitForEvent([](xcb_generic_event_t*) { return false; }, std::chrono::milliseconds(0)));
    EXPECT_EQ(witnessed, 9);

    // A consumed event stops there: the witness, made first, sees it; the filters after it do not.
    auto after = std::make_unique<Owner>(*connection);
    X11EventFilter consumer(*connection, [](xcb_generic_event_t* e) { return isPropertyNotify(e); });
    auto last = std::make_unique<Owner>(*connection);
    queuePropertyEvents(2);
    connection->dispatchPending();
    EXPECT_EQ(witnessed, 11);
    EXPECT_EQ(after->seen(), 2u);
    EXPECT_EQ(last->seen(), 0u);

    // Filters that outlive their connection unregister from nothing.
    connection.reset();
    after.reset();
    last.reset();
}

TEST_F(X11EventFilterTest, FiltersMayGoAndComeDuringDispatch)
{
    std::vector<std::string> calls;
    std::unique_ptr<X11EventFilter> self, later, added;
    // The first filter destroys itself and the filter after it, and makes a new one, on the
    // first event.
    self = std::make_unique<X11EventFilter>(*connection, [&](xcb_generic_event_t* e) {
        if (!isPropertyNotify(e))
            return false;
        calls.push_back("self");
        later.reset();
        added = std::make_unique<X11EventFilter>(*connection, [&](xcb_generic_event_t* e) {
            if (isPropertyNotify(e))
                calls.push_back("added");
            return false;
        });
        self.reset(); // nothing of this closure is touched after this line
        return false;
    });
    later = std::make_unique<X11EventFilter>(*connection, [&](xcb_generic_event_t* e) {
        if (isPropertyNotify(e))
            calls.push_back("later");
        return false;
    });
    int last = 0;
    X11EventFilter tail(*connection, [&](xcb_generic_event_t* e) {
        last += isPropertyNotify(e);
        return false;
    });

    queuePropertyEvents(2);
    connection->dispatchPending();
    // The removed filter missed the event it was removed in; the added one saw only the next.
    EXPECT_EQ(calls, (std::vector<std::string>{"self", "added"}));
    EXPECT_EQ(last, 2);
    EXPECT_FALSE(self);
    EXPECT_FALSE(later);
}

TEST_F(X11EventFilterTest, ARemovalInsideANestedDispatchHoldsForTheOuterOne)
{
    // The first filter waits for the server while handling an event, as a window command
    // does, which dispatches the queued events inside; there the second filter removes the
    // third. The outer dispatch must then skip the third as well.
    std::unique_ptr<X11EventFilter> victim;
    int nested = 0, victimCalls = 0, outerEvents = 0;
    X11EventFilter waiter(*connection, [&](xcb_generic_event_t* e) {
        if (!isPropertyNotify(e))
            return false;
        if (++outerEvents == 1)
            connection->dispatchPending();
        return false;
    });
    X11EventFilter remover(*connection, [&](xcb_generic_event_t* e) {
        if (isPropertyNotify(e) && ++nested == 1)
            victim.reset();
        return false;
    });
    victim = std::make_unique<X11EventFilter>(*connection, [&](xcb_generic_event_t* e) {
        victimCalls += isPropertyNotify(e);
        return false;
    });

    queuePropertyEvents(3);
    connection->dispatchPending();
    EXPECT_EQ(outerEvents, 3);
    EXPECT_EQ(nested, 3);
    EXPECT_EQ(victimCalls, 0);
}
