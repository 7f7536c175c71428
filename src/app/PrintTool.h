#pragma once
// bilhetor-print: prints a tagged text, or the sample separation ticket,
// through the printer engine to any port and model, with the settings of the
// printer settings file and the options given; or only shows the printer's
// status. Meant for the people who install printers.
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace bilhetor {

// Draws the bytes sent to a printer of the Epson ESC/POS family into a PNG
// file, as the printer would print them on paper larguraPapelMm wide (80 or
// 58), and returns the drawing's warnings (unknown commands, errors, notes;
// Windows-1252 text). Raises an Exception when the picture cannot be made or
// written. The program gives it (tools/bilhetor-print links the receipt
// preview), so that this library stays free of Qt.
using TDesenharPreview = std::function<std::vector<std::string>(const std::string& bytes,
                                                                const std::string& arquivoPng, int larguraPapelMm)>;

// Runs the tool with the arguments after the program name. Returns the exit
// status: 0 done, 1 a printing or printer error, 2 bad usage. Messages go to
// err, the help, the status and the --mostrar dump to out. Never throws.
// Without desenhar, --preview and --desenhar are refused with status 1.
int ExecutarBilhetorPrint(const std::vector<std::string>& argumentos, std::istream& entrada, std::ostream& saida,
                          std::ostream& erro, const std::string& executavel,
                          const TDesenharPreview& desenhar = TDesenharPreview());

// The sample separation ticket (order 57 of José Ávila, one item, attendant
// MARIA, 05/03/2024 14:20:01) as tagged lines for `colunas` columns.
std::vector<std::string> TicketExemplo(int colunas);

// Printer bytes in readable form: control bytes by name ([ESC], [GS], [LF]
// ...), other non-printable bytes by their decimal value, a line break after
// each line feed.
std::string DescreverBytes(const std::string& bytes);

}  // namespace bilhetor
