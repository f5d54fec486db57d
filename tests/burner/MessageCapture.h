#pragma once
// Collects what the engine publishes on keys 0 and 1 while an object of this class lives.
#include "burner/MessageDispatcher.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

struct CapturedMessages {
    std::vector<std::pair<LONG, std::string>> m_Diagnostic; // key 0
    std::vector<std::pair<LONG, std::string>> m_User;       // key 1
};

class CMessageCapture {
public:
    CMessageCapture()
    {
        Active() = &m_Messages;
        SubscribeMessages(&DiagnosticSink, MESSAGE_KEY_DIAGNOSTIC);
        SubscribeMessages(&UserSink, MESSAGE_KEY_USER);
    }
    ~CMessageCapture() { Active() = nullptr; }
    CMessageCapture(const CMessageCapture&) = delete;
    CMessageCapture& operator=(const CMessageCapture&) = delete;

    std::vector<std::string> UserTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& m : m_Messages.m_User) {
            texts.push_back(m.second);
        }
        return texts;
    }
    const std::vector<std::pair<LONG, std::string>>& User() const { return m_Messages.m_User; }
    const std::vector<std::pair<LONG, std::string>>& Diagnostic() const
    {
        return m_Messages.m_Diagnostic;
    }
    bool HasDiagnostic(const std::string& text, LONG level) const
    {
        return std::count(Diagnostic().begin(), Diagnostic().end(), std::make_pair(level, text)) > 0;
    }
    bool HasUser(const std::string& text, LONG level) const
    {
        return std::count(User().begin(), User().end(), std::make_pair(level, text)) > 0;
    }
    void Clear() { m_Messages = {}; }

private:
    static CapturedMessages*& Active()
    {
        static CapturedMessages* active = nullptr;
        return active;
    }
    static void DiagnosticSink(LONG level, const char* text)
    {
        if (Active() != nullptr) {
            Active()->m_Diagnostic.emplace_back(level, text);
        }
    }
    static void UserSink(LONG level, const char* text)
    {
        if (Active() != nullptr) {
            Active()->m_User.emplace_back(level, text);
        }
    }

    CapturedMessages m_Messages;
};
