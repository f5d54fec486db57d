#pragma once
// Wide strings (the platform's UTF-32 wchar_t) to and from the system code page, which is UTF-8
// here. Invalid input bytes become U+FFFD; nothing is ever dropped silently.
#include <string>

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
std::string Utf8FromWide(const wchar_t* text);  // null gives ""
