// The Filter Graph's event queue: what filters post through IMediaEventSink reaches the owner
// through IMediaEvent, in order, from any thread.
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/CaptureInterfaces.h"
#include "platform/dshow/MediaGraphClasses.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

class FilterGraphEventsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterMediaGraphClasses();
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph,
                                   m_graph.ReleaseAndGetVoidAddressOf()), S_OK);
        // As a filter reaches it: from the IFilterGraph it joined.
        ASSERT_EQ(m_graph.As(m_sink, IID_IMediaEventSink), S_OK);
        ASSERT_EQ(m_graph.As(m_events, IID_IMediaEvent), S_OK);
    }
    ComPtr<IFilterGraph> m_graph;
    ComPtr<IMediaEventSink> m_sink;
    ComPtr<IMediaEvent> m_events;
};

TEST_F(FilterGraphEventsTest, EventsArriveInOrderWithTheirParameters)
{
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    EXPECT_EQ(m_events->GetEvent(&code, &p1, &p2, 0), E_ABORT) << "nothing queued yet";
    EXPECT_EQ(m_sink->Notify(EC_ERRORABORT, E_FAIL, 7), S_OK);
    EXPECT_EQ(m_sink->Notify(EC_COMPLETE, S_OK, 0), S_OK);
    ASSERT_EQ(m_events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_ERRORABORT);
    EXPECT_EQ(static_cast<HRESULT>(p1), E_FAIL);
    EXPECT_EQ(p2, 7);
    EXPECT_EQ(m_events->FreeEventParams(code, p1, p2), S_OK);
    ASSERT_EQ(m_events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(m_events->GetEvent(&code, &p1, &p2, 10), E_ABORT);
    EXPECT_EQ(m_events->GetEvent(nullptr, &p1, &p2, 0), E_POINTER);
}

TEST_F(FilterGraphEventsTest, AWaitingOwnerWakesForAnEventFromAnotherThread)
{
    std::thread poster([sink = m_sink] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sink->Notify(EC_COMPLETE, S_OK, 0);
    });
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    // A wait without end in use; a long one here, so that a lost wake fails instead of hanging.
    EXPECT_EQ(m_events->GetEvent(&code, &p1, &p2, 10000), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    poster.join();
}

TEST_F(FilterGraphEventsTest, WaitForCompletionTakesTheEndAndLeavesOtherEvents)
{
    long code = -1;
    EXPECT_EQ(m_events->WaitForCompletion(0, &code), E_ABORT);
    EXPECT_EQ(code, 0);
    m_sink->Notify(EC_STREAM_ERROR_STOPPED, 1, 0);
    EXPECT_EQ(m_events->WaitForCompletion(20, &code), E_ABORT) << "not an end of the run";
    std::thread poster([sink = m_sink] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sink->Notify(EC_ERRORABORT, E_FAIL, 0);
    });
    EXPECT_EQ(m_events->WaitForCompletion(5000, &code), S_OK);
    EXPECT_EQ(code, EC_ERRORABORT);
    poster.join();
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(m_events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_STREAM_ERROR_STOPPED);
    EXPECT_EQ(m_events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
}

} // namespace
