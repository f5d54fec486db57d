#pragma once
// The registry: a tree of keys (case-insensitive, case-preserving names) holding string, number
// and binary values, kept in one text file (platform::GetRegistryPath()).
//
// Every call reads the file; every change rewrites it whole under an advisory lock, into a
// temporary file renamed over the old one, so concurrent processes see each other's changes and
// no crash leaves it half written. A damaged line is skipped; the rest of the file still counts.
#include "platform/base/WinTypes.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;

constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// A root key. Open keys are plain objects (CRegKey), not handles.
enum class HKEY { HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };
constexpr HKEY HKEY_CLASSES_ROOT = HKEY::HKEY_CLASSES_ROOT;
constexpr HKEY HKEY_CURRENT_USER = HKEY::HKEY_CURRENT_USER;
constexpr HKEY HKEY_LOCAL_MACHINE = HKEY::HKEY_LOCAL_MACHINE;

struct RegValue {
    DWORD type = REG_SZ;
    std::vector<BYTE> data;  // REG_SZ: the UTF-8 text without terminator; REG_DWORD: 4 bytes LE
};

// The whole tree in memory; the file's text form. Exposed for the registry's own tests.
struct RegTree {
    struct Key {
        std::string name;                          // as first written
        std::map<std::string, std::pair<std::string, RegValue>> values; // lower name -> (name, value)
        std::map<std::string, Key> subkeys;        // lower name -> key
    };
    Key root;

    Key* Find(const std::string& path, bool create);
    bool Delete(const std::string& path);
    std::string Serialize() const;
    static RegTree Parse(const std::string& text);
};

// A key below a root, named with '\' separators: CRegKey key; key.Create(HKEY_CLASSES_ROOT,
// "CLSID\\{...}\\LocalServer32"); key.SetStringValue(nullptr, "/usr/lib/vantorel/vantorel");
class CRegKey {
public:
    LONG Create(HKEY root, const std::string& subKey);  // opens, creating what is missing
    LONG Open(HKEY root, const std::string& subKey);    // ERROR_FILE_NOT_FOUND when missing
    void Close() { m_strPath.clear(); }
    bool IsOpen() const { return !m_strPath.empty(); }
    const std::string& GetPath() const { return m_strPath; }

    // A null or empty name is the key's default value.
    LONG SetStringValue(const char* name, const std::string& value);
    LONG SetDWORDValue(const char* name, DWORD value);
    LONG SetBinaryValue(const char* name, const void* data, size_t size);
    LONG QueryStringValue(const char* name, std::string& value) const;
    LONG QueryDWORDValue(const char* name, DWORD& value) const;
    LONG QueryBinaryValue(const char* name, std::vector<BYTE>& value) const;
    LONG DeleteValue(const char* name);
    // Removes a subkey of this key with everything below it.
    LONG RecurseDeleteKey(const std::string& subKey);
    // Names of the direct subkeys, in sorted order.
    std::vector<std::string> EnumKeys() const;

private:
    LONG SetValue(const char* name, RegValue value);
    LONG QueryValue(const char* name, DWORD type, RegValue& value) const;
    std::string m_strPath;  // "HKEY_CLASSES_ROOT\\CLSID\\{...}"
};

// Removes root\subKey and everything below it. ERROR_FILE_NOT_FOUND when it does not exist.
LONG RegDeleteTree(HKEY root, const std::string& subKey);
