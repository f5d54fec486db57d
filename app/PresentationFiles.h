#pragma once
// Files that reach the presentation list from outside the Add dialog: named on the command line
// ("Open with" in a file manager) or dropped onto the list. Presentations (.ppt, .pps, .pptx,
// .odp in any case) that exist as files are taken; anything else is refused by name.
#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QAbstractItemView;

struct PresentationChoice {
    std::vector<std::string> accepted;
    std::vector<std::string> refused;  // each with its reason when it is not just the wrong type
};

PresentationChoice ChoosePresentations(const std::vector<std::string>& names);
// The name ends in .ppt, .pps, .pptx or .odp, in any case.
bool IsPresentationName(const std::string& name);
// The message that names the refused files.
std::string RefusalMessage(const std::vector<std::string>& refused);

// Lets a list view take drops: every dropped item reaches the handler, local files as paths,
// other addresses and dropped text as they are, so that what is refused can be named.
class CFileDropTarget : public QObject {
public:
    using Handler = std::function<void(const std::vector<std::string>& names)>;
    CFileDropTarget(QAbstractItemView* pView, Handler handler);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    Handler m_handler;
};
