#include "burner/MessageDispatcher.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

struct SinkList {
    std::mutex m_mutex;
    std::vector<std::pair<MessageSink, LONG>> m_sinks;
};

SinkList& Sinks()
{
    static SinkList list;
    return list;
}

// glibc's printf has no "%I64d"; it is the 64-bit "%lld" there.
std::string TranslateFormat(const char* format)
{
    std::string result;
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            result += "%%";
            ++p;
        } else if (p[0] == '%' && p[1] == 'I' && p[2] == '6' && p[3] == '4') {
            result += "%ll";
            p += 3;
        } else {
            result += *p;
        }
    }
    return result;
}

} // namespace

void SubscribeMessages(MessageSink sink, LONG key)
{
    SinkList& list = Sinks();
    std::lock_guard<std::mutex> lock(list.m_mutex);
    for (const auto& entry : list.m_sinks) {
        if (entry.first == sink && entry.second == key) {
            return;
        }
    }
    list.m_sinks.emplace_back(sink, key);
}

void PublishMessage(LONG key, LONG level, const char* format, ...)
{
    char buffer[MESSAGE_BUFFER_SIZE];
    const std::string translated = TranslateFormat(format);
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, translated.c_str(), args);
    va_end(args);
    if (written < 0) {
        buffer[0] = '\0';
    }

    std::vector<MessageSink> targets;
    {
        SinkList& list = Sinks();
        std::lock_guard<std::mutex> lock(list.m_mutex);
        for (const auto& entry : list.m_sinks) {
            if (entry.second == key) {
                targets.push_back(entry.first);
            }
        }
    }
    for (MessageSink sink : targets) {
        sink(level, buffer);
    }
}
