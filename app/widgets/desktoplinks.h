#pragma once

#include <QString>

#include <functional>

// Opening links in the desktop browser and announcing it on the main window's status line.
// The widgets below the main window cannot include it; the window installs the status hook once
// and every widget that opens a link or shows a status text goes through here.
namespace DesktopLinks {

// Receives status texts meant for the main window's status line ("Starting browser...").
using StatusHook = std::function<void(const QString &text)>;

// Installs the hook; an empty hook drops status texts.
void setStatusHook(StatusHook hook);
// Hands a text to the installed hook, if any.
void showStatus(const QString &text);

// True for an absolute http or https address with a host: the only links handed to the desktop.
bool isWebLink(const QString &link);
// Opens a web link in the desktop browser. Anything else (file:, javascript:, a bare word) is refused
// and returns false, because these links come from streams and the directory.
bool open(const QString &link);
// Shows "Starting browser..." on the status line, then opens the link.
bool announceAndOpen(const QString &link);

} // namespace DesktopLinks
