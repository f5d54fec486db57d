#pragma once
// Document frames inside a window of another process (the recording window's slide area), made
// through the office's own embedding: the frame's window is created as a system child of the
// host's X window, so it never appears at top level, follows the host's size and survives the
// host's end. One new frame per document: a second document loaded into the same frame brings
// the office's bars back. Internal to platform/office (UNO).
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/task/XStatusIndicator.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

namespace office {

namespace css = com::sun::star;

// A new, empty frame whose window is a child of the X window `host`, appended to the desktop's
// frames (so the office closes it with the rest). Null when the office cannot make it.
css::uno::Reference<css::frame::XFrame> CreateHostedFrame(
    const css::uno::Reference<css::uno::XComponentContext>& context,
    const css::uno::Reference<css::frame::XDesktop2>& desktop, unsigned long host);

// A status indicator that shows nothing, for the load of a hosted document: with the frame's own,
// the office lays a progress bar out at the bottom of the window, which its bars' hiding does not
// take away, and the show is laid out above it.
css::uno::Reference<css::task::XStatusIndicator> SilentStatusIndicator();

// Makes the loaded frame's window visible with nothing of the office's user interface in it.
// The layout manager lays its bars out when the window first shows and undoes a hiding asked for
// before that; asked for too early, it leaves the menu bar. So: show, wait until the bars are
// laid out, hide them (on the office's main thread, see OfficeThread.h), wait until the
// document's window fills the frame. Each wait has a deadline; false when one passed (the window
// is visible then, perhaps with bars).
bool ShowBare(const css::uno::Reference<css::uno::XComponentContext>& context,
              const css::uno::Reference<css::frame::XFrame>& frame);

// Whether the document's window fills the frame's window (no bars around it).
bool FillsFrame(const css::uno::Reference<css::frame::XFrame>& frame);

// Puts the frame back to the bare state when something of the office's user interface took room
// after ShowBare (an element the layout manager makes late, which its hiding did not reach):
// the hiding is taken back and set again in one step on the office's thread, so nothing of it
// is painted. True when it had to.
bool KeepBare(const css::uno::Reference<css::uno::XComponentContext>& context,
              const css::uno::Reference<css::frame::XFrame>& frame);

// Whether the frame's window is visible.
bool IsFrameVisible(const css::uno::Reference<css::frame::XFrame>& frame);

// The X window id of the frame's window (the window the show draws in); 0 when it has none.
unsigned long FrameWindowId(const css::uno::Reference<css::frame::XFrame>& frame);

// Closes the frame and its document; the frame's window goes with it.
void CloseFrame(const css::uno::Reference<css::frame::XFrame>& frame);

}  // namespace office
