// The coding thread's hand-off: order, the failure that stops it, waiting, and stopping with
// work left.
#include "platform/codecs/EncodePipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::vector<EncodeSlot> Slots(std::size_t n)
{
    return std::vector<EncodeSlot>(n);
}

// Submits one slot stamped with its number; false once no slot is given.
bool SubmitNumbered(CEncodePipeline& pipeline, int n, HRESULT* phr)
{
    EncodeSlot* slot = pipeline.Acquire(phr);
    if (!slot) return false;
    slot->tStart = n;
    pipeline.Submit(slot);
    return true;
}

}  // namespace

TEST(EncodePipeline, CodesEverySubmittedSlotInOrderAndWaitsForThem)
{
    CEncodePipeline pipeline;
    std::vector<REFERENCE_TIME> coded;
    ASSERT_EQ(pipeline.Start(Slots(2), [&](EncodeSlot& slot) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        coded.push_back(slot.tStart);
        return S_OK;
    }), S_OK);
    HRESULT hr = E_FAIL;
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(SubmitNumbered(pipeline, i, &hr));
    EXPECT_EQ(pipeline.WaitIdle(), S_OK);
    ASSERT_EQ(coded.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(coded[i], i);
    // A slot taken and given back is not coded.
    EncodeSlot* slot = pipeline.Acquire(&hr);
    ASSERT_NE(slot, nullptr);
    pipeline.Release(slot);
    EXPECT_EQ(pipeline.WaitIdle(), S_OK);
    EXPECT_EQ(coded.size(), 50u);
}

TEST(EncodePipeline, TheFirstFailureDropsWhatWaitsAndComesBackToTheProducer)
{
    CEncodePipeline pipeline;
    std::atomic<int> calls {0};
    ASSERT_EQ(pipeline.Start(Slots(3), [&](EncodeSlot& slot) {
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return slot.tStart == 2 ? E_OUTOFMEMORY : S_OK;
    }), S_OK);
    HRESULT hr = S_OK;
    int submitted = 0;
    while (SubmitNumbered(pipeline, submitted, &hr)) ++submitted;
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    EXPECT_GE(submitted, 3);
    EXPECT_EQ(pipeline.WaitIdle(), E_OUTOFMEMORY);
    EXPECT_EQ(calls.load(), 3);  // nothing after the failure was coded
    pipeline.Stop();
    // A new run starts clean.
    ASSERT_EQ(pipeline.Start(Slots(1), [](EncodeSlot&) { return S_OK; }), S_OK);
    EXPECT_TRUE(SubmitNumbered(pipeline, 0, &hr));
    EXPECT_EQ(pipeline.WaitIdle(), S_OK);
}

TEST(EncodePipeline, StoppingWithWorkLeftNeitherHangsNorCodesIt)
{
    // The coder holds the first slot until the test lets it go, so the others are still waiting
    // when the stop comes, however slowly the test runs.
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    std::atomic<int> calls {0};
    auto coder = [&](EncodeSlot&) {
        ++calls;
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return open; });
        return S_OK;
    };
    auto letGo = [&] {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    };
    auto coding = [&] {
        for (int i = 0; i < 1000 && calls == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return calls == 1;
    };
    CEncodePipeline pipeline;
    ASSERT_EQ(pipeline.Start(Slots(3), coder), S_OK);
    HRESULT hr = S_OK;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(SubmitNumbered(pipeline, i, &hr));
    if (!coding()) {
        letGo();
        FAIL() << "the first slot is never coded";
    }
    std::thread stopper([&] { pipeline.Stop(); });
    // No slot is free: Acquire returns only once the stop has begun.
    EXPECT_EQ(pipeline.Acquire(&hr), nullptr);
    EXPECT_EQ(hr, VFW_E_WRONG_STATE);
    letGo();
    stopper.join();
    EXPECT_EQ(calls.load(), 1) << "only the slot being coded";
    // Stopped: no slot, and waiting returns at once.
    EXPECT_EQ(pipeline.Acquire(&hr), nullptr);
    EXPECT_EQ(hr, VFW_E_WRONG_STATE);
    EXPECT_EQ(pipeline.WaitIdle(), S_OK);

    // Discard drops what waits but lets the one being coded finish.
    calls = 0;
    open = false;
    ASSERT_EQ(pipeline.Start(Slots(3), coder), S_OK);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(SubmitNumbered(pipeline, i, &hr));
    if (!coding()) {
        letGo();
        FAIL() << "the first slot is never coded";
    }
    pipeline.Discard();
    letGo();
    EXPECT_EQ(pipeline.WaitIdle(), S_OK);
    EXPECT_EQ(calls.load(), 1);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(SubmitNumbered(pipeline, i, &hr));  // every slot came back
}
