#pragma once
// The print server in its window: what bilhetor runs when a display is there
// and --headless was not given (ExecutarBilhetor loads it from the window
// module). The same start-up as the headless server, with message boxes
// instead of lines, and the window hidden in the tray.
#include <iosfwd>
#include <string>

namespace bilhetor {

// Runs the program with its settings folder: a second copy is refused with
// a message box, start-up failures are shown and end it with 1, SIGTERM or
// SIGINT ends it with 0 between two handlers. Every message also goes to
// erro as a line with the date and time. Returns kSemTela, without showing
// anything, when no display can be opened.
int ExecutarJanela(const std::string& executavel, const std::string& pasta, std::ostream& erro);

// Whether Qt can open a display: a platform named in QT_QPA_PLATFORM is taken
// as given; else an X server at DISPLAY that accepts a connection, or, with
// Qt's Wayland platform installed, WAYLAND_DISPLAY.
bool TelaDisponivel();

}  // namespace bilhetor
