#include "app/Resource.h"

#include <QtCore/qglobal.h>
#include <QDir>

std::string LoadString(unsigned nID)
{
    switch (nID) {
    case IDS_ABOUTBOX: return "&About Vantorel...";
    case IDS_VERSION: return "3.5";
    default: return {};
    }
}

void InitAppResources()
{
    Q_INIT_RESOURCE(app);
}
