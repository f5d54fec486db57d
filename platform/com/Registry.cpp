#include "platform/com/Registry.h"

#include "platform/shell/Places.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

namespace {

constexpr const char* kHeader = "VANTOREL REGISTRY 1";

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

const char* RootName(HKEY root)
{
    switch (root) {
    case HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
    }
    return "HKEY_CLASSES_ROOT";
}

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

std::string Quote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out + "\"";
}

// Reads a quoted string at pos; pos ends after the closing quote. False when malformed.
bool Unquote(const std::string& line, size_t& pos, std::string& out)
{
    if (pos >= line.size() || line[pos] != '"')
        return false;
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < line.size()) {
            char e = line[++pos];
            out += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
            out += c;
        }
    }
    return false;
}

bool ParseValue(const std::string& text, RegValue& value)
{
    if (!text.empty() && text[0] == '"') {
        size_t pos = 0;
        std::string s;
        if (!Unquote(text, pos, s) || pos != text.size())
            return false;
        value = {REG_SZ, std::vector<BYTE>(s.begin(), s.end())};
        return true;
    }
    if (text.rfind("dword:", 0) == 0) {
        std::string hex = text.substr(6);
        if (hex.size() != 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        DWORD v = static_cast<DWORD>(std::stoul(hex, nullptr, 16));
        value = {REG_DWORD, {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}};
        return true;
    }
    if (text.rfind("hex:", 0) == 0) {
        value = {REG_BINARY, {}};
        std::string bytes = text.substr(4);
        for (size_t i = 0; i < bytes.size();) {
            if (i + 2 > bytes.size() || !isxdigit(static_cast<unsigned char>(bytes[i])) ||
                !isxdigit(static_cast<unsigned char>(bytes[i + 1])))
                return false;
            value.data.push_back(static_cast<BYTE>(std::stoul(bytes.substr(i, 2), nullptr, 16)));
            i += 2;
            if (i < bytes.size() && bytes[i++] != ',')
                return false;
        }
        return true;
    }
    return false;
}

std::string FormatValue(const RegValue& v)
{
    char buf[16];
    switch (v.type) {
    case REG_DWORD: {
        DWORD d = 0;
        for (size_t i = 0; i < 4 && i < v.data.size(); ++i)
            d |= DWORD(v.data[i]) << (8 * i);
        std::snprintf(buf, sizeof buf, "dword:%08x", d);
        return buf;
    }
    case REG_BINARY: {
        std::string out = "hex:";
        for (size_t i = 0; i < v.data.size(); ++i) {
            std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", v.data[i]);
            out += buf;
        }
        return out;
    }
    default:
        return Quote(std::string(v.data.begin(), v.data.end()));
    }
}

// Holds the registry's advisory lock for one read-modify-write.
class CRegistryLock {
public:
    CRegistryLock(const std::string& path, bool exclusive)
    {
        auto slash = path.rfind('/');
        if (exclusive && slash != std::string::npos)
            platform::CreateFolders(path.substr(0, slash));
        m_fd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            while (flock(m_fd, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
            }
    }
    ~CRegistryLock()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    CRegistryLock(const CRegistryLock&) = delete;
    CRegistryLock& operator=(const CRegistryLock&) = delete;

private:
    int m_fd = -1;
};

RegTree LoadTree(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return RegTree::Parse(text.str());
}

bool SaveTree(const std::string& path, const RegTree& tree)
{
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;
    std::string text = tree.Serialize();
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

// Runs a change on the tree and saves it when the change says it changed something.
LONG Modify(const std::function<LONG(RegTree&, bool& changed)>& change)
{
    std::string path = platform::GetRegistryPath();
    CRegistryLock lock(path, true);
    RegTree tree = LoadTree(path);
    bool changed = false;
    LONG rc = change(tree, changed);
    if (rc == ERROR_SUCCESS && changed && !SaveTree(path, tree))
        return ERROR_ACCESS_DENIED;
    return rc;
}

RegTree Read()
{
    std::string path = platform::GetRegistryPath();
    CRegistryLock lock(path, false);
    return LoadTree(path);
}

std::string ValueKey(const char* name)
{
    return Lower(name ? name : "");
}

} // namespace

RegTree::Key* RegTree::Find(const std::string& path, bool create)
{
    Key* key = &root;
    for (const std::string& part : SplitPath(path)) {
        auto it = key->subkeys.find(Lower(part));
        if (it == key->subkeys.end()) {
            if (!create)
                return nullptr;
            it = key->subkeys.emplace(Lower(part), Key {part, {}, {}}).first;
        }
        key = &it->second;
    }
    return key;
}

bool RegTree::Delete(const std::string& path)
{
    auto parts = SplitPath(path);
    if (parts.empty())
        return false;
    std::string last = parts.back();
    parts.pop_back();
    std::string parent;
    for (const auto& p : parts)
        parent += p + "\\";
    Key* key = Find(parent, false);
    return key && key->subkeys.erase(Lower(last)) > 0;
}

std::string RegTree::Serialize() const
{
    std::string out = std::string(kHeader) + "\n";
    std::function<void(const Key&, const std::string&)> emit = [&](const Key& key, const std::string& path) {
        if (!path.empty()) {
            out += "\n[" + path + "]\n";
            for (const auto& [lower, named] : key.values)
                out += (named.first.empty() ? std::string("@") : Quote(named.first)) + "=" + FormatValue(named.second) + "\n";
        }
        for (const auto& [lower, sub] : key.subkeys)
            emit(sub, path.empty() ? sub.name : path + "\\" + sub.name);
    };
    emit(root, "");
    return out;
}

RegTree RegTree::Parse(const std::string& text)
{
    RegTree tree;
    Key* current = nullptr;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line == kHeader)
            continue;
        if (line.front() == '[') {
            current = line.back() == ']' && line.size() > 2 ? tree.Find(line.substr(1, line.size() - 2), true) : nullptr;
            continue;
        }
        if (!current)
            continue;
        std::string name;
        size_t pos = 0;
        if (line[0] == '@')
            pos = 1;
        else if (!Unquote(line, pos, name))
            continue;
        if (pos >= line.size() || line[pos] != '=')
            continue;
        RegValue value;
        if (ParseValue(line.substr(pos + 1), value))
            current->values[Lower(name)] = {name, std::move(value)};
    }
    return tree;
}

LONG CRegKey::Create(HKEY root, const std::string& subKey)
{
    std::string path = std::string(RootName(root)) + "\\" + subKey;
    LONG rc = Modify([&](RegTree& tree, bool& changed) {
        changed = tree.Find(path, false) == nullptr;
        tree.Find(path, true);
        return ERROR_SUCCESS;
    });
    m_strPath = rc == ERROR_SUCCESS ? path : std::string();
    return rc;
}

LONG CRegKey::Open(HKEY root, const std::string& subKey)
{
    std::string path = std::string(RootName(root)) + "\\" + subKey;
    RegTree tree = Read();
    if (!tree.Find(path, false)) {
        m_strPath.clear();
        return ERROR_FILE_NOT_FOUND;
    }
    m_strPath = path;
    return ERROR_SUCCESS;
}

LONG CRegKey::SetValue(const char* name, RegValue value)
{
    if (!IsOpen())
        return ERROR_INVALID_HANDLE;
    return Modify([&](RegTree& tree, bool& changed) {
        RegTree::Key* key = tree.Find(m_strPath, false);
        if (!key)
            return ERROR_FILE_NOT_FOUND; // deleted by someone else meanwhile
        auto& slot = key->values[ValueKey(name)];
        changed = slot.second.type != value.type || slot.second.data != value.data || slot.first.empty() != !name;
        slot = {name ? name : "", std::move(value)};
        return ERROR_SUCCESS;
    });
}

LONG CRegKey::QueryValue(const char* name, DWORD type, RegValue& value) const
{
    if (!IsOpen())
        return ERROR_INVALID_HANDLE;
    RegTree tree = Read();
    RegTree::Key* key = tree.Find(m_strPath, false);
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    auto it = key->values.find(ValueKey(name));
    if (it == key->values.end() || it->second.second.type != type)
        return ERROR_FILE_NOT_FOUND;
    value = it->second.second;
    return ERROR_SUCCESS;
}

LONG CRegKey::SetStringValue(const char* name, const std::string& value)
{
    return SetValue(name, {REG_SZ, std::vector<BYTE>(value.begin(), value.end())});
}

LONG CRegKey::SetDWORDValue(const char* name, DWORD v)
{
    return SetValue(name, {REG_DWORD, {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}});
}

LONG CRegKey::SetBinaryValue(const char* name, const void* data, size_t size)
{
    const BYTE* p = static_cast<const BYTE*>(data);
    return SetValue(name, {REG_BINARY, std::vector<BYTE>(p, p + size)});
}

LONG CRegKey::QueryStringValue(const char* name, std::string& value) const
{
    RegValue v;
    LONG rc = QueryValue(name, REG_SZ, v);
    if (rc == ERROR_SUCCESS)
        value.assign(v.data.begin(), v.data.end());
    return rc;
}

LONG CRegKey::QueryDWORDValue(const char* name, DWORD& value) const
{
    RegValue v;
    LONG rc = QueryValue(name, REG_DWORD, v);
    if (rc == ERROR_SUCCESS) {
        value = 0;
        for (size_t i = 0; i < 4 && i < v.data.size(); ++i)
            value |= DWORD(v.data[i]) << (8 * i);
    }
    return rc;
}

LONG CRegKey::QueryBinaryValue(const char* name, std::vector<BYTE>& value) const
{
    RegValue v;
    LONG rc = QueryValue(name, REG_BINARY, v);
    if (rc == ERROR_SUCCESS)
        value = std::move(v.data);
    return rc;
}

LONG CRegKey::DeleteValue(const char* name)
{
    if (!IsOpen())
        return ERROR_INVALID_HANDLE;
    return Modify([&](RegTree& tree, bool& changed) {
        RegTree::Key* key = tree.Find(m_strPath, false);
        changed = key && key->values.erase(ValueKey(name)) > 0;
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG CRegKey::RecurseDeleteKey(const std::string& subKey)
{
    if (!IsOpen())
        return ERROR_INVALID_HANDLE;
    return Modify([&](RegTree& tree, bool& changed) {
        changed = tree.Delete(m_strPath + "\\" + subKey);
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

std::vector<std::string> CRegKey::EnumKeys() const
{
    std::vector<std::string> names;
    RegTree tree = Read();
    if (RegTree::Key* key = tree.Find(m_strPath, false); key && IsOpen())
        for (const auto& [lower, sub] : key->subkeys)
            names.push_back(sub.name);
    return names;
}

LONG RegDeleteTree(HKEY root, const std::string& subKey)
{
    std::string path = std::string(RootName(root)) + "\\" + subKey;
    return Modify([&](RegTree& tree, bool& changed) {
        changed = tree.Delete(path);
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}
