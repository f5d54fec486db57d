#pragma once
// A COM class served by this program as a local server, on the D-Bus session bus.
//
// The class's bus name is its ProgID ("Vantorel.Application"). A client calls
// Vantorel.IClassFactory.CreateInstance on "/" and gets the path of a new object
// ("/Vantorel/Application/<n>", interface Vantorel.IVantorel) in the program that answered, which
// the client reaches by the reply's sender (its unique bus name) from then on. The object lives
// until that client calls its Release or leaves the bus. Registration is single use: after the first object the
// name is given up, so the bus starts a new program instance for the next client.
//
// Window thread only.
#ifndef Q_MOC_RUN // moc cannot parse the C++20 library headers behind it
#include "platform/com/ComBase.h"
#endif

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QDBusServiceWatcher;

namespace platform {

// An automation object. Its destructor runs when its client has released it.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
};

class COleObjectFactory : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Vantorel.IClassFactory")
public:
    using Creator = std::function<std::unique_ptr<CCmdTarget>()>;

    COleObjectFactory(const CLSID& clsid, std::string progId, Creator create);
    ~COleObjectFactory() override;

    // Writes the class's registry entries (class id, ProgID, exePath as the local server) and
    // the D-Bus service file that starts "exePath -Automation". False when either failed, and
    // with nothing written when exePath is not an executable file.
    bool UpdateRegistry(const std::string& exePath) const;
    // Offers the class on the session bus. False when there is no bus or the name is taken.
    bool Register();
    // Gives the name up and stops the factory: no object is made after it. Live objects stay.
    void Revoke();

    const std::string& GetProgId() const { return m_strProgId; }
    int GetObjectCount() const { return static_cast<int>(m_objects.size()); }
    // The service file UpdateRegistry writes: <data home>dbus-1/services/<ProgID>.service.
    std::string GetServiceFilePath() const;

public slots:
    QDBusObjectPath CreateInstance(const QDBusMessage& message);

private:
    friend class CDispatchObject;
    void ReleaseObject(const QString& path);
    void ReleaseClientObjects(const QString& client);

    struct Live {
        std::unique_ptr<CCmdTarget> target;
        std::unique_ptr<QObject> exported;
        QString client;
    };

    CLSID m_clsid;
    std::string m_strProgId;
    Creator m_create;
    bool m_bRegistered = false;
    bool m_bServiceOwned = false;
    int m_nNextObject = 1;
    std::map<QString, Live> m_objects;
    QDBusServiceWatcher* m_pWatcher = nullptr;
};

} // namespace platform
