#pragma once
// The print server in its window: what bilhetor runs when a display is there
// and --headless was not given (ExecutarBilhetor loads it from the window
// module). The same start-up as the headless server, with message boxes
// instead of lines, and the window hidden in the tray.
#include <iosfwd>
#include <string>

#include "app/Plataforma.h"

namespace bilhetor {

// Runs the program with its settings folder: a second copy is refused with
// a message box, start-up failures are shown and end it with 1, SIGTERM or
// SIGINT ends it with 0 between two handlers. Every message also goes to
// erro as a line with the date and time. Returns kSemTela, without showing
// anything, when Qt cannot open the display the program saw.
int ExecutarJanela(const std::string& executavel, const std::string& pasta, const std::string& estado, TTela tela,
                   std::ostream& erro);

// Whether Qt can open the display the program saw (VerTela): a platform named
// in QT_QPA_PLATFORM and an X server that answered are taken as given; a
// Wayland display needs Qt's Wayland platform installed, which is then chosen.
bool QtAbreTela(TTela tela);

}  // namespace bilhetor
