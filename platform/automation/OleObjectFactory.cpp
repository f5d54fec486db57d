#include "platform/automation/OleObjectFactory.h"

#include "platform/com/Registry.h"
#include "platform/shell/Places.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace platform {

// The exported object of one automation object: IVantorel has no methods of its own, only the
// Release every interface has.
class CDispatchObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Vantorel.IVantorel")
public:
    CDispatchObject(COleObjectFactory* factory, QString path) : m_pFactory(factory), m_path(std::move(path)) {}

public slots:
    void Release(const QDBusMessage& message)
    {
        // Only the client that created the object may release it.
        if (m_pFactory->m_objects.count(m_path) && m_pFactory->m_objects[m_path].client == message.service())
            QMetaObject::invokeMethod(m_pFactory, [f = m_pFactory, p = m_path] { f->ReleaseObject(p); },
                                      Qt::QueuedConnection);
    }

private:
    COleObjectFactory* m_pFactory;
    QString m_path;
};

namespace {

std::string ShellQuoteForService(const std::string& s)
{
    if (s.find_first_of(" \t'\"\\") == std::string::npos)
        return s;
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

QString ObjectPrefix(const std::string& progId)
{
    QString prefix = "/" + QString::fromStdString(progId);
    prefix.replace('.', '/');
    return prefix;
}

} // namespace

COleObjectFactory::COleObjectFactory(const CLSID& clsid, std::string progId, Creator create)
    : m_clsid(clsid), m_strProgId(std::move(progId)), m_create(std::move(create))
{
}

COleObjectFactory::~COleObjectFactory()
{
    Revoke();
    m_objects.clear();
}

std::string COleObjectFactory::GetServiceFilePath() const
{
    return GetDataHome() + "dbus-1/services/" + m_strProgId + ".service";
}

bool COleObjectFactory::UpdateRegistry(const std::string& exePath) const
{
    // A program whose file was removed while it ran has no path to offer: the entries of
    // whatever is installed now stay as they are.
    if (exePath.empty() || access(exePath.c_str(), X_OK) != 0)
        return false;
    const std::string clsid = StringFromGUID(m_clsid);
    CRegKey key;
    bool ok = key.Create(HKEY_CLASSES_ROOT, m_strProgId) == ERROR_SUCCESS &&
              key.SetStringValue(nullptr, m_strProgId) == ERROR_SUCCESS &&
              key.Create(HKEY_CLASSES_ROOT, m_strProgId + "\\CLSID") == ERROR_SUCCESS &&
              key.SetStringValue(nullptr, clsid) == ERROR_SUCCESS &&
              key.Create(HKEY_CLASSES_ROOT, "CLSID\\" + clsid) == ERROR_SUCCESS &&
              key.SetStringValue(nullptr, m_strProgId) == ERROR_SUCCESS &&
              key.Create(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\ProgID") == ERROR_SUCCESS &&
              key.SetStringValue(nullptr, m_strProgId) == ERROR_SUCCESS &&
              key.Create(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\LocalServer32") == ERROR_SUCCESS &&
              key.SetStringValue(nullptr, exePath) == ERROR_SUCCESS;

    std::string file = GetServiceFilePath();
    std::string folder = file.substr(0, file.rfind('/'));
    std::string text = "[D-BUS Service]\nName=" + m_strProgId + "\nExec=" + ShellQuoteForService(exePath) +
                       " -Automation\n";
    std::string temp = file + ".tmp";
    bool written = CreateFolders(folder);
    if (written) {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        written = !out.fail() && std::rename(temp.c_str(), file.c_str()) == 0;
        if (!written)
            unlink(temp.c_str());
    }
    return ok && written;
}

bool COleObjectFactory::Register()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!m_pWatcher) {
        m_pWatcher = new QDBusServiceWatcher(this);
        m_pWatcher->setConnection(bus);
        m_pWatcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(m_pWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
                [this](const QString& client) { ReleaseClientObjects(client); });
    }
    if (!m_bRegistered) {
        if (!bus.registerObject("/", this, QDBusConnection::ExportAllSlots))
            return false;
        m_bRegistered = true;
    }
    m_bServiceOwned = bus.registerService(QString::fromStdString(m_strProgId));
    if (!m_bServiceOwned)
        Revoke();
    return m_bServiceOwned;
}

void COleObjectFactory::Revoke()
{
    // The name and the factory go together: a client that knows this program's unique name
    // cannot make objects through it once the name is given up.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_bServiceOwned)
        bus.unregisterService(QString::fromStdString(m_strProgId));
    m_bServiceOwned = false;
    if (m_bRegistered)
        bus.unregisterObject("/");
    m_bRegistered = false;
}

QDBusObjectPath COleObjectFactory::CreateInstance(const QDBusMessage& message)
{
    if (!m_bRegistered) {
        // A call that was on its way when the factory stopped.
        message.setDelayedReply(true);
        QDBusConnection::sessionBus().send(message.createErrorReply(QDBusError::AccessDenied,
                                                                    "the class is no longer offered here"));
        return {};
    }
    QString path = ObjectPrefix(m_strProgId) + "/" + QString::number(m_nNextObject++);
    Live live;
    live.client = message.service();
    live.exported = std::make_unique<CDispatchObject>(this, path);
    QDBusConnection::sessionBus().registerObject(path, live.exported.get(), QDBusConnection::ExportAllSlots);
    m_pWatcher->addWatchedService(live.client);
    // Single use: the next client gets a program of its own.
    Revoke();
    live.target = m_create();
    m_objects.emplace(path, std::move(live));
    return QDBusObjectPath(path);
}

void COleObjectFactory::ReleaseObject(const QString& path)
{
    auto it = m_objects.find(path);
    if (it == m_objects.end())
        return;
    QDBusConnection::sessionBus().unregisterObject(path);
    Live live = std::move(it->second);
    m_objects.erase(it);
    live.target.reset(); // may end the program's modal loop; the factory is still whole here
}

void COleObjectFactory::ReleaseClientObjects(const QString& client)
{
    std::vector<QString> paths;
    for (const auto& [path, live] : m_objects)
        if (live.client == client)
            paths.push_back(path);
    for (const QString& path : paths)
        ReleaseObject(path);
    m_pWatcher->removeWatchedService(client);
}

} // namespace platform

#include "OleObjectFactory.moc"
