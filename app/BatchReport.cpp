#include "app/BatchReport.h"

namespace {

std::string Seconds(long long ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", ms / 1000, ms % 1000);
    return text;
}

}  // namespace

void CBatchReport::Line(std::FILE* to, const std::string& text)
{
    std::fputs((text + "\n").c_str(), to);
    std::fflush(to);
}

void CBatchReport::FileStarted(int index, int count, const std::string& path)
{
    Line(m_out, "file " + std::to_string(index) + "/" + std::to_string(count) + " " + path);
}

void CBatchReport::Slide(long position, long count, long long videoMs)
{
    Line(m_out, "slide " + std::to_string(position) + "/" + std::to_string(count) + " at " + Seconds(videoMs) + " s");
}

void CBatchReport::Written(const std::string& path, long long durationMs, unsigned long long bytes)
{
    Line(m_out, "written " + Seconds(durationMs) + " s " + std::to_string(bytes) + " bytes " + path);
}

void CBatchReport::TimingLog(const std::string& path)
{
    Line(m_out, "timings " + path);
}

void CBatchReport::FileError(const std::string& path, const std::string& what)
{
    Line(m_err, "vantorel: " + path + ": " + what);
}

void CBatchReport::Error(const std::string& what)
{
    Line(m_err, "vantorel: " + what);
}

void CBatchReport::DvdConvert(int index, int count, const std::string& video)
{
    Line(m_out, "dvd convert " + std::to_string(index) + "/" + std::to_string(count) + " " + video);
}

void CBatchReport::DvdAuthor()
{
    Line(m_out, "dvd author");
}

void CBatchReport::DvdBurn(int percent)
{
    if (percent == m_nLastPercent)
        return;
    m_nLastPercent = percent;
    Line(m_out, "dvd burn " + std::to_string(percent) + "%");
}

void CBatchReport::DvdDone(const std::string& target, bool image)
{
    Line(m_out, std::string(image ? "dvd written " : "dvd burned ") + target);
}

void CBatchReport::Done(int recorded, int count)
{
    Line(m_out, "done " + std::to_string(recorded) + "/" + std::to_string(count) + " recorded");
}
