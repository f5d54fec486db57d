#include "options/OptionFile.h"

#include "platform/shell/Places.h"
#include "platform/ui/MessageBox.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace options {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const
    {
        // A stream opened for reading has nothing left to lose on close.
        (void)std::fclose(file);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

LoadResult RunLoad(IByteSource& source, const COptionFile::Serializer& serialize)
{
    COptionArchive ar = COptionArchive::ForLoading(source);
    try {
        serialize(ar);
    } catch (const CArchiveEndOfFile&) {
        platform::AfxMessageBox(EndOfFileMessage(), platform::MB_OK | platform::MB_ICONSTOP);
        return LoadResult::EndedEarly;
    }
    return LoadResult::Complete;
}

std::string FolderOf(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

} // namespace

std::string EndOfFileMessage()
{
    std::string text = "An attempt was made to access %1 past its end.";
    text.replace(text.find("%1"), 2, "an unnamed file");
    return text;
}

std::unique_ptr<COptionFileWriter> COptionFileWriter::Create(const std::string& path)
{
    if (!platform::CreateFolders(FolderOf(path)))
        return nullptr;
    std::string temp = path + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<COptionFileWriter>(new COptionFileWriter(path, temp, fd));
}

COptionFileWriter::~COptionFileWriter()
{
    Discard();
}

void COptionFileWriter::Discard()
{
    if (m_fd >= 0) {
        (void)close(m_fd);
        m_fd = -1;
    }
    if (!m_strTempPath.empty()) {
        (void)unlink(m_strTempPath.c_str());
        m_strTempPath.clear();
    }
}

bool COptionFileWriter::Commit(const std::string& bytes)
{
    if (m_fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Discard();
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    // On disk before the rename, so a crash leaves either the old file or the whole new one.
    if (fsync(m_fd) != 0) {
        Discard();
        return false;
    }
    int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0 || rename(m_strTempPath.c_str(), m_strPath.c_str()) != 0) {
        Discard();
        return false;
    }
    m_strTempPath.clear();
    return true;
}

COptionFile::COptionFile(const std::string& strFileName)
    : m_strPath(platform::GetConfigFolder() + strFileName)
{
}

LoadResult COptionFile::Load(const Serializer& serialize) const
{
    // Non-blocking so that a FIFO in place of the file cannot hang the window; only regular files
    // are read.
    int fd = open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return LoadResult::NotOpened;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        (void)close(fd);
        return LoadResult::NotOpened;
    }
    FilePtr file(fdopen(fd, "rb"));
    if (!file) {
        (void)close(fd);
        return LoadResult::NotOpened;
    }
    CFileByteSource source(file.get(), static_cast<std::uint64_t>(st.st_size));
    return RunLoad(source, serialize);
}

bool COptionFile::Save(const Serializer& serialize) const
{
    auto writer = COptionFileWriter::Create(m_strPath);
    if (!writer)
        return false;
    COptionArchive ar = COptionArchive::ForStoring();
    serialize(ar);
    return writer->Commit(ar.Buffer());
}

LoadResult COptionFile::LoadFromBytes(const std::string& bytes, const Serializer& serialize)
{
    CMemoryByteSource source(bytes.data(), bytes.size());
    return RunLoad(source, serialize);
}

} // namespace options
