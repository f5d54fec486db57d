#include "CodecTestSupport.h"
#include "TestPushSource.h"
#include "platform/codecs/VideoCompressor.h"
#include "platform/com/ComPtr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace codectest;
using namespace dshowtest;

namespace {

constexpr REFERENCE_TIME kFrameTime = UNITS / 15;

const VideoEncoderChoice& Choice(const std::string& encoder)
{
    for (const auto& c : kVideoEncoderChoices)
        if (encoder == c.encoder) return c;
    throw std::runtime_error("no such choice");
}

ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION wanted)
{
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.ReleaseAndGetAddressOf());
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        ComPtr<IPin> held;
        held.Attach(pin);
        PIN_DIRECTION dir;
        if (pin->QueryDirection(&dir) == S_OK && dir == wanted) return held;
    }
    return {};
}

// Source -> compressor -> collecting sink, connected and paused.
struct VideoChain {
    CTestPushSource source;
    CTestSink sink;
    ComPtr<IBaseFilter> compressor;
    AM_MEDIA_TYPE outType {};
    int bits;
    LONG width, height;
    bool ended = true;

    VideoChain(const std::string& encoder, int bits_, LONG w, LONG h, REFERENCE_TIME avg = kFrameTime)
        : bits(bits_), width(w), height(h)
    {
        CMediaType in = RgbType(bits, w, h, avg);
        source.m_cbBuffer = static_cast<LONG>(in.GetSampleSize());
        source.m_types.push_back(in);
        sink.m_bKeepData = true;
        EXPECT_EQ(CreateVideoCompressorFilter(Choice(encoder), compressor.ReleaseAndGetAddressOf()), S_OK);
    }
    ~VideoChain()
    {
        Stop();
        FreeMediaType(outType);
    }
    HRESULT Connect()
    {
        HRESULT hr = source.OutputPin()->Connect(PinOf(compressor.Get(), PINDIR_INPUT).Get(), nullptr);
        if (FAILED(hr)) return hr;
        hr = PinOf(compressor.Get(), PINDIR_OUTPUT)->Connect(sink.InputPin(), nullptr);
        if (FAILED(hr)) return hr;
        return sink.InputPin()->ConnectionMediaType(&outType);
    }
    void Start()
    {
        ended = false;
        ASSERT_EQ(sink.Pause(), S_OK);
        ASSERT_EQ(compressor->Pause(), S_OK);
        ASSERT_EQ(source.Pause(), S_OK);
    }
    // The frames still being coded reach the sink only before it stops, and the graph stops
    // downstream first: a pushing source ends its stream first.
    HRESULT End()
    {
        ended = true;
        return source.PushEndOfStream();
    }
    void Stop()
    {
        if (!ended) End();
        sink.Stop();
        compressor->Stop();
        source.Stop();
    }
    // Pushes frames [first, first + n), keeping what each should look like.
    void Push(int first, int n, std::vector<std::vector<uint8_t>>* expected)
    {
        for (int i = first; i < first + n; ++i) {
            std::vector<uint8_t> shown;
            std::vector<BYTE> frame = MakeFrame(bits, width, height, i, &shown);
            REFERENCE_TIME start = i * kFrameTime, stop = start + kFrameTime;
            ASSERT_EQ(source.Push(frame.data(), frame.size(), &start, &stop, true), S_OK) << "frame " << i;
            if (expected) expected->push_back(std::move(shown));
        }
    }
    const VIDEOINFOHEADER& OutInfo() const { return *reinterpret_cast<const VIDEOINFOHEADER*>(outType.pbFormat); }
};

struct VideoCase {
    const char* encoder;
    int bits;
    LONG width, height;
    DWORD fourcc;
    int sizeMultiple;
    double minPsnr;  // 99: exact
};

void PrintTo(const VideoCase& c, std::ostream* os)
{
    *os << c.encoder << "_" << c.bits << "bit_" << c.width << "x" << c.height;
}

class VideoCompression : public ::testing::TestWithParam<VideoCase> {};

TEST_P(VideoCompression, DeliversOneDecodableFramePerInputFrame)
{
    const VideoCase& c = GetParam();
    constexpr int kFrames = 45;  // three seconds: key frames are due at least every two
    VideoChain chain(c.encoder, c.bits, c.width, c.height);
    ASSERT_EQ(chain.Connect(), S_OK);

    // The output type as the AVI header needs it.
    const VIDEOINFOHEADER& out = chain.OutInfo();
    EXPECT_EQ(chain.outType.majortype, MEDIATYPE_Video);
    EXPECT_EQ(chain.outType.subtype, FourCCSubtype(c.fourcc));
    EXPECT_EQ(out.bmiHeader.biCompression, c.fourcc);
    EXPECT_EQ(out.bmiHeader.biSize, 40 + chain.outType.cbFormat - sizeof(VIDEOINFOHEADER));
    EXPECT_EQ(out.AvgTimePerFrame, kFrameTime);
    EXPECT_GE(out.bmiHeader.biWidth, c.width);
    EXPECT_LT(out.bmiHeader.biWidth, c.width + c.sizeMultiple);
    EXPECT_EQ(out.bmiHeader.biWidth % c.sizeMultiple, 0);
    EXPECT_GE(out.bmiHeader.biHeight, c.height);
    EXPECT_LT(out.bmiHeader.biHeight, c.height + c.sizeMultiple);
    EXPECT_EQ(out.bmiHeader.biHeight % c.sizeMultiple, 0);
    EXPECT_GT(out.bmiHeader.biSizeImage, 0u);

    chain.Start();
    std::vector<std::vector<uint8_t>> expected;
    chain.Push(0, kFrames, &expected);
    ASSERT_EQ(chain.End(), S_OK);
    chain.Stop();

    std::vector<ReceivedSample> got = chain.sink.Samples();
    ASSERT_EQ(got.size(), static_cast<std::size_t>(kFrames));
    EXPECT_TRUE(got[0].syncPoint);
    int lastKey = 0;
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(got[i].start, i * kFrameTime);
        EXPECT_EQ(got[i].stop, (i + 1) * kFrameTime);
        EXPECT_FALSE(got[i].data.empty());
        if (got[i].syncPoint) lastKey = i;
        EXPECT_LT(i - lastKey, 30) << "no key frame for two seconds at " << i;
    }
    EXPECT_EQ(chain.sink.EndsOfStream().size(), 1u);

    DecodedVideo decoded = DecodeVideo(chain.outType, got);
    ASSERT_TRUE(decoded.ok);
    ASSERT_EQ(decoded.frames.size(), static_cast<std::size_t>(kFrames));
    EXPECT_EQ(decoded.width, out.bmiHeader.biWidth);
    EXPECT_EQ(decoded.height, out.bmiHeader.biHeight);
    double worst = 99;
    for (int i = 0; i < kFrames; ++i)
        worst = std::min(worst, Psnr(expected[i], c.width, c.height, decoded.frames[i], decoded.width));
    EXPECT_GE(worst, c.minPsnr);
    // The threshold tells pictures apart: the same frame upside down is far below it.
    std::vector<uint8_t> flipped(expected[0].size());
    const std::size_t row = static_cast<std::size_t>(c.width) * 3;
    for (LONG y = 0; y < c.height; ++y)
        std::memcpy(flipped.data() + y * row, expected[0].data() + (c.height - 1 - y) * row, row);
    EXPECT_LT(Psnr(flipped, c.width, c.height, decoded.frames[0], decoded.width), std::min(c.minPsnr, 30.0) - 5);
    RecordProperty("worst_psnr", std::to_string(worst));
}

constexpr DWORD MSVC = MAKEFOURCC('M', 'S', 'V', 'C'), MJPG = MAKEFOURCC('M', 'J', 'P', 'G'),
                FMP4 = MAKEFOURCC('F', 'M', 'P', '4'), H264 = MAKEFOURCC('H', '2', '6', '4'),
                FFV1 = MAKEFOURCC('F', 'F', 'V', '1');

INSTANTIATE_TEST_SUITE_P(AllEncodersAndDepths, VideoCompression, ::testing::ValuesIn(std::vector<VideoCase> {
    {"msvideo1", 32, 64, 48, MSVC, 4, 20}, {"msvideo1", 24, 37, 21, MSVC, 4, 20}, {"msvideo1", 16, 37, 21, MSVC, 4, 20},
    {"msvideo1", 15, 37, 21, MSVC, 4, 20}, {"msvideo1", 8, 37, 21, MSVC, 4, 20},
    {"mjpeg", 32, 64, 48, MJPG, 2, 30}, {"mjpeg", 24, 37, 21, MJPG, 2, 23}, {"mjpeg", 16, 37, 21, MJPG, 2, 23},
    {"mjpeg", 15, 37, 21, MJPG, 2, 23}, {"mjpeg", 8, 37, 21, MJPG, 2, 23},
    {"mpeg4", 32, 64, 48, FMP4, 2, 30}, {"mpeg4", 24, 37, 21, FMP4, 2, 23}, {"mpeg4", 16, 37, 21, FMP4, 2, 23},
    {"mpeg4", 15, 37, 21, FMP4, 2, 23}, {"mpeg4", 8, 37, 21, FMP4, 2, 23},
    {"libx264", 32, 64, 48, H264, 2, 30}, {"libx264", 24, 37, 21, H264, 2, 23}, {"libx264", 16, 37, 21, H264, 2, 23},
    {"libx264", 15, 37, 21, H264, 2, 23}, {"libx264", 8, 37, 21, H264, 2, 23},
    {"ffv1", 32, 64, 48, FFV1, 1, 99}, {"ffv1", 24, 37, 21, FFV1, 1, 99}, {"ffv1", 16, 37, 21, FFV1, 1, 99},
    {"ffv1", 15, 37, 21, FFV1, 1, 99}, {"ffv1", 8, 37, 21, FFV1, 1, 99},
    // A capture-sized frame: the threaded encoders cut it into slices.
    {"libx264", 32, 640, 480, H264, 2, 30}, {"ffv1", 32, 640, 480, FFV1, 1, 99},
}), [](const auto& info) {
    return std::string(info.param.encoder) + "_" + std::to_string(info.param.bits) + "bit_" +
           std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
});

TEST(VideoCompressor, ASecondRunCodesAfreshUnderTheSameType)
{
    for (const char* encoder : {"libx264", "ffv1", "mpeg4"}) {
        SCOPED_TRACE(encoder);
        VideoChain chain(encoder, 32, 40, 30);
        ASSERT_EQ(chain.Connect(), S_OK);
        chain.Start();
        chain.Push(0, 5, nullptr);
        chain.Stop();
        chain.Start();
        std::vector<std::vector<uint8_t>> expected;
        chain.Push(5, 10, &expected);
        chain.Stop();
        std::vector<ReceivedSample> got = chain.sink.Samples();
        ASSERT_EQ(got.size(), 15u);
        // The second run stands alone: it starts with a key frame and decodes by itself.
        std::vector<ReceivedSample> second(got.begin() + 5, got.end());
        EXPECT_TRUE(second[0].syncPoint);
        DecodedVideo decoded = DecodeVideo(chain.outType, second);
        ASSERT_TRUE(decoded.ok);
        ASSERT_EQ(decoded.frames.size(), 10u);
        EXPECT_GE(Psnr(expected[9], 40, 30, decoded.frames[9], decoded.width), 27);
    }
}

TEST(VideoCompressor, TinyCaptureSizesCodeToo)
{
    for (const auto& choice : kVideoEncoderChoices) {
        for (auto [w, h] : {std::pair<LONG, LONG> {1, 1}, {5, 3}, {2, 9}}) {
            SCOPED_TRACE(std::string(choice.encoder) + " " + std::to_string(w) + "x" + std::to_string(h));
            VideoChain chain(choice.encoder, 24, w, h);
            ASSERT_EQ(chain.Connect(), S_OK);
            chain.Start();
            chain.Push(0, 3, nullptr);
            chain.Stop();
            ASSERT_EQ(chain.sink.Samples().size(), 3u);
            DecodedVideo decoded = DecodeVideo(chain.outType, chain.sink.Samples());
            EXPECT_TRUE(decoded.ok);
            EXPECT_EQ(decoded.frames.size(), 3u);
        }
    }
}

TEST(VideoCompressor, PaddingRepeatsTheLastColumnAndRow)
{
    VideoChain chain("ffv1", 32, 10, 6);  // ffv1 codes any size: nothing to pad
    ASSERT_EQ(chain.Connect(), S_OK);
    EXPECT_EQ(chain.OutInfo().bmiHeader.biWidth, 10);

    VideoChain padded("mjpeg", 32, 37, 21);
    ASSERT_EQ(padded.Connect(), S_OK);
    padded.Start();
    std::vector<std::vector<uint8_t>> expected;
    padded.Push(0, 1, &expected);
    padded.Stop();
    DecodedVideo decoded = DecodeVideo(padded.outType, padded.sink.Samples());
    ASSERT_TRUE(decoded.ok);
    ASSERT_EQ(decoded.width, 38);
    ASSERT_EQ(decoded.height, 22);
    const std::vector<uint8_t>& f = decoded.frames.at(0);
    auto at = [&](int x, int y, int ch) { return int(f[(static_cast<std::size_t>(y) * 38 + x) * 3 + ch]); };
    int worst = 0;
    for (int y = 0; y < 21; ++y)
        for (int ch = 0; ch < 3; ++ch) worst = std::max(worst, std::abs(at(37, y, ch) - at(36, y, ch)));
    for (int x = 0; x < 37; ++x)
        for (int ch = 0; ch < 3; ++ch) worst = std::max(worst, std::abs(at(x, 21, ch) - at(x, 20, ch)));
    EXPECT_LE(worst, 24);  // an edge copy, not black
}

TEST(VideoCompressor, WithoutAFrameTimeKeyFramesComeEveryThirtyFrames)
{
    // A still picture: no scene cuts, only the key-frame interval (15 frames a second assumed).
    for (const char* encoder : {"libx264", "mpeg4", "msvideo1"}) {
        SCOPED_TRACE(encoder);
        VideoChain chain(encoder, 24, 32, 32, 0);
        ASSERT_EQ(chain.Connect(), S_OK);
        chain.Start();
        std::vector<BYTE> still = MakeFrame(24, 32, 32, 0, nullptr);
        for (int i = 0; i < 61; ++i) ASSERT_EQ(chain.source.Push(still.data(), still.size()), S_OK);
        chain.Stop();
        std::vector<ReceivedSample> got = chain.sink.Samples();
        ASSERT_EQ(got.size(), 61u);
        std::vector<std::size_t> keys;
        for (std::size_t i = 0; i < got.size(); ++i)
            if (got[i].syncPoint) keys.push_back(i);
        EXPECT_EQ(keys, (std::vector<std::size_t> {0, 30, 60}));
        // Samples without times pass on without times.
        EXPECT_EQ(got[1].timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
    }
}

TEST(VideoCompressor, RefusesShortFramesAndTypesItCannotRead)
{
    VideoChain chain("mpeg4", 24, 32, 16);
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    std::vector<BYTE> shortFrame(32 * 3 * 16 - 1);
    EXPECT_EQ(chain.source.Push(shortFrame.data(), shortFrame.size()), E_INVALIDARG);
    EXPECT_TRUE(chain.sink.Samples().empty());
    chain.Stop();

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(CreateVideoCompressorFilter(Choice("mjpeg"), filter.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IPin> in = PinOf(filter.Get(), PINDIR_INPUT);
    auto refused = [&](CMediaType mt) { return in->QueryAccept(&mt) != S_OK; };
    CMediaType topDown = RgbType(32, 16, 16, kFrameTime);
    reinterpret_cast<VIDEOINFOHEADER*>(topDown.Format())->bmiHeader.biHeight = -16;
    EXPECT_TRUE(refused(topDown));
    CMediaType noMasks = RgbType(16, 16, 16, kFrameTime);
    noMasks.ReallocFormatBuffer(sizeof(VIDEOINFOHEADER));
    EXPECT_TRUE(refused(noMasks));
    CMediaType noPalette = RgbType(8, 16, 16, kFrameTime);
    noPalette.ReallocFormatBuffer(sizeof(VIDEOINFOHEADER) + 16);
    EXPECT_TRUE(refused(noPalette));
    CMediaType wrongDepth = RgbType(24, 16, 16, kFrameTime);
    reinterpret_cast<VIDEOINFOHEADER*>(wrongDepth.Format())->bmiHeader.biBitCount = 32;
    EXPECT_TRUE(refused(wrongDepth));
    CMediaType huge = RgbType(32, 16, 16, kFrameTime);
    reinterpret_cast<VIDEOINFOHEADER*>(huge.Format())->bmiHeader.biWidth = 1 << 20;
    EXPECT_TRUE(refused(huge));
    EXPECT_FALSE(refused(RgbType(15, 16, 16, kFrameTime)));
}

}  // namespace

TEST(VideoCompressor, Ffv1HoldsTheSamplesItCodesFromAndGivesThemAllBack)
{
    // FFV1 codes the 32-bit frames in place: its input allocator grants a buffer per frame it
    // may hold, while the source asks for fewer, and every one comes back by the stop.
    VideoChain chain("ffv1", 32, 320, 240);
    ASSERT_EQ(chain.Connect(), S_OK);
    ComPtr<IMemInputPin> input;
    ASSERT_EQ(PinOf(chain.compressor.Get(), PINDIR_INPUT)->QueryInterface(IID_IMemInputPin, input.ReleaseAndGetVoidAddressOf()), S_OK);
    ALLOCATOR_PROPERTIES wanted {};
    ASSERT_EQ(input->GetAllocatorRequirements(&wanted), S_OK);
    EXPECT_GE(wanted.cBuffers, 3);
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(input->GetAllocator(allocator.ReleaseAndGetAddressOf()), S_OK);
    ALLOCATOR_PROPERTIES granted {};
    ASSERT_EQ(allocator->GetProperties(&granted), S_OK);
    EXPECT_EQ(granted.cBuffers, wanted.cBuffers) << "the source asked for 2";

    chain.Start();
    std::vector<std::vector<uint8_t>> expected;
    chain.Push(0, 20, &expected);
    chain.Stop();
    ALLOCATOR_PROPERTIES again = granted, actual {};
    EXPECT_EQ(allocator->SetProperties(&again, &actual), S_OK) << "no sample still out";

    // A run that ends mid-stream (the sink stopped first) gives them back too.
    chain.Start();
    chain.Push(0, 2, nullptr);
    chain.sink.Stop();
    chain.compressor->Stop();
    chain.source.Stop();
    EXPECT_EQ(allocator->SetProperties(&again, &actual), S_OK);

    // Other encoders convert into pictures of their own and keep the one buffer asked for.
    VideoChain mjpeg("mjpeg", 32, 64, 48);
    ASSERT_EQ(mjpeg.Connect(), S_OK);
    ASSERT_EQ(PinOf(mjpeg.compressor.Get(), PINDIR_INPUT)->QueryInterface(IID_IMemInputPin, input.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(input->GetAllocatorRequirements(&wanted), E_NOTIMPL);
}

TEST(VideoCompressor, ADownstreamThatStopsEndsTheStreamWithinAFewFrames)
{
    // Coding runs behind the pushes; the refusal of a stopped sink still reaches the source
    // soon, and stopping the compressor afterwards does not wait on the lost frames.
    VideoChain chain("mjpeg", 32, 64, 48);
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    chain.Push(0, 3, nullptr);
    chain.sink.Stop();
    HRESULT hr = S_OK;
    int pushed = 3;
    for (; pushed < 40 && hr == S_OK; ++pushed) {
        std::vector<BYTE> frame = MakeFrame(32, 64, 48, pushed, nullptr);
        REFERENCE_TIME start = pushed * kFrameTime, stop = start + kFrameTime;
        hr = chain.source.Push(frame.data(), frame.size(), &start, &stop, true);
    }
    EXPECT_TRUE(FAILED(hr));
    EXPECT_LE(pushed, 3 + 5);
    EXPECT_LE(chain.sink.Samples().size(), 3u);
    chain.compressor->Stop();
    chain.source.Stop();

    // The next run codes again.
    std::size_t before = chain.sink.Samples().size();
    chain.Start();
    chain.Push(0, 4, nullptr);
    chain.Stop();
    EXPECT_EQ(chain.sink.Samples().size(), before + 4);
}
