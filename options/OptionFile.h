#pragma once
// One option file in the user's config folder: loading a record from it and replacing it
// atomically with a new one. Used by the option windows and, without a window, by the recording
// window's silent copies of the records.
#include "options/OptionArchive.h"

#include <functional>
#include <memory>
#include <string>

namespace options {

enum class LoadResult {
    NotOpened,   // missing or unreadable: the record is unchanged, nothing is shown
    Complete,    // every field read
    EndedEarly,  // the fields read so far were taken; the end-of-file message was shown
};

// The text shown when a file ends before its last field.
std::string EndOfFileMessage();

// A temporary file beside the option file. Commit writes the bytes, flushes them to disk and
// renames the file over the option file; a writer that is not committed removes its file, so a
// failed or abandoned save leaves the old option file as it was.
class COptionFileWriter {
public:
    // Null when the folder cannot be created or no file can be created in it.
    static std::unique_ptr<COptionFileWriter> Create(const std::string& path);
    ~COptionFileWriter();
    COptionFileWriter(const COptionFileWriter&) = delete;
    COptionFileWriter& operator=(const COptionFileWriter&) = delete;

    bool Commit(const std::string& bytes);

private:
    COptionFileWriter(std::string path, std::string tempPath, int fd)
        : m_strPath(std::move(path)), m_strTempPath(std::move(tempPath)), m_fd(fd) {}
    void Discard();

    std::string m_strPath;
    std::string m_strTempPath;
    int m_fd;
};

class COptionFile {
public:
    using Serializer = std::function<void(COptionArchive&)>;

    // The path is fixed here: the config folder as it is now, then the name as given.
    explicit COptionFile(const std::string& strFileName);

    const std::string& Path() const { return m_strPath; }

    // Reads every field it can; shows the end-of-file message when the file is short.
    LoadResult Load(const Serializer& serialize) const;
    // Writes the whole record; false (and the old file untouched) when it cannot.
    bool Save(const Serializer& serialize) const;

    template <class Record>
    LoadResult LoadRecord(Record& record) const
    {
        return Load([&](COptionArchive& ar) { record.SerializeOptions(ar); });
    }
    template <class Record>
    bool SaveRecord(Record& record) const
    {
        return Save([&](COptionArchive& ar) { record.SerializeOptions(ar); });
    }

    // Runs serialize over bytes in memory, as Load does over the file.
    static LoadResult LoadFromBytes(const std::string& bytes, const Serializer& serialize);

private:
    std::string m_strPath;
};

} // namespace options
