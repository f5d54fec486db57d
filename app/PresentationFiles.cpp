#include "app/PresentationFiles.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <sys/stat.h>

bool IsPresentationName(const std::string& name)
{
    auto dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos)
        return false;
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == "ppt" || ext == "pps" || ext == "pptx" || ext == "odp";
}

PresentationChoice ChoosePresentations(const std::vector<std::string>& names)
{
    PresentationChoice choice;
    for (const std::string& name : names) {
        struct stat st {};
        bool exists = stat(name.c_str(), &st) == 0;
        if (exists && S_ISREG(st.st_mode) && IsPresentationName(name))
            choice.accepted.push_back(name);
        else if (!exists && IsPresentationName(name))
            choice.refused.push_back(name + " (not found)");
        else
            choice.refused.push_back(name);
    }
    return choice;
}

std::string RefusalMessage(const std::vector<std::string>& refused)
{
    constexpr std::size_t kShown = 10;
    std::string text = "Only presentations (.ppt, .pps, .pptx, .odp) can be added. Not added:";
    for (std::size_t i = 0; i < refused.size() && i < kShown; ++i)
        text += "\n" + refused[i];
    if (refused.size() > kShown)
        text += "\nand " + std::to_string(refused.size() - kShown) + " more";
    return text;
}

CFileDropTarget::CFileDropTarget(QAbstractItemView* pView, Handler handler)
    : QObject(pView), m_handler(std::move(handler))
{
    pView->setAcceptDrops(true);
    pView->viewport()->setAcceptDrops(true);
    pView->setDropIndicatorShown(false);
    pView->viewport()->installEventFilter(this);
}

bool CFileDropTarget::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    switch (pEvent->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        // Anything that names something is taken, so that a refusal can say what it was.
        auto* drag = static_cast<QDropEvent*>(pEvent);
        if (drag->mimeData()->hasUrls() || drag->mimeData()->hasText())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(pEvent);
        std::vector<std::string> names;
        const QMimeData* data = drop->mimeData();
        if (data->hasUrls()) {
            for (const QUrl& url : data->urls())
                names.push_back((url.isLocalFile() ? url.toLocalFile() : url.toString()).toStdString());
        } else if (data->hasText()) {
            names.push_back(data->text().left(200).toStdString());
        }
        drop->acceptProposedAction();
        if (!names.empty())
            m_handler(names);
        return true;
    }
    default:
        return QObject::eventFilter(pWatched, pEvent);
    }
}
