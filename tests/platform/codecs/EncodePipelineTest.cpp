// The coding thread's hand-off: order, the failure that stops it, waiting, and stopping with
// work left.
#include "platform/codecs/EncodePipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
    CEncodePipeline pipeline;
    std::atomic<int> calls {0};
    ASSERT_EQ(pipeline.Start(Slots(3), [&](EncodeSlot&) {
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return S_OK;
    }), S_OK);
    HRESULT hr = S_OK;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(SubmitNumbered(pipeline, i, &hr));
    pipeline.Stop();
    EXPECT_LE(calls.load(), 1);
    // Stopped: no slot, and waiting returns at once.
    EXPECT_EQ(pipeline.Acquire(&hr), nullptr);
    EXPECT_EQ(hr, VFW_E_WRONG_STATE);
    EXPECT_EQ(pipeline.WaitIdle(), S_OK);

    // Discard drops what waits but lets the one being coded finish.
    calls = 0;
    ASSERT_EQ(pipeline.Start(Slots(3), [&](EncodeSlot&) {
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return S_OK;
    }), S_OK);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(SubmitNumbered(pipeline, i, &hr));
    pipeline.Discard();
    EXPECT_EQ(pipeline.WaitIdle(), S_OK);
    EXPECT_LE(calls.load(), 1);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(SubmitNumbered(pipeline, i, &hr));  // every slot came back
}
