#pragma once
// What an unattended run tells people and scripts: one line per event on standard output, each
// a fixed word or two, then numbers, then - last, so that it may hold spaces - a path:
//
//     file 1/2 /talks/a.ppt
//     slide 1/5 at 0.000 s
//     written 25.021 s 4310922 bytes /out/a_001.avi
//     timings /out/a_001.slides.csv
//     dvd convert 1/2 /out/a_001.avi
//     dvd author
//     dvd burn 47%
//     dvd written /talks/talks.iso        (dvd burned /dev/sr0 on a drive)
//     done 2/3 recorded
//
// Errors go to standard error, "vantorel: <file>: <what>", naming the file they concern. Every
// line is flushed at once, so a script reading a pipe sees it when it happens.
#include <cstdio>
#include <string>

class CBatchReport {
public:
    CBatchReport(std::FILE* out, std::FILE* err) : m_out(out), m_err(err) {}

    void FileStarted(int index, int count, const std::string& path);
    void Slide(long position, long count, long long videoMs);
    void Written(const std::string& path, long long durationMs, unsigned long long bytes);
    void TimingLog(const std::string& path);
    // A failure that concerns one file (skipped, not written, its log not written).
    void FileError(const std::string& path, const std::string& what);
    // A failure of the run as a whole (the DVD, the servers).
    void Error(const std::string& what);

    void DvdConvert(int index, int count, const std::string& video);
    void DvdAuthor();
    // Only when the percentage has changed since the last line.
    void DvdBurn(int percent);
    void DvdDone(const std::string& target, bool image);
    void Done(int recorded, int count);

private:
    void Line(std::FILE* to, const std::string& text);

    std::FILE* m_out;
    std::FILE* m_err;
    int m_nLastPercent = -1;
};
