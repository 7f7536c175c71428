#pragma once
// bilhetor-print: prints a tagged text, or the sample separation ticket,
// through the printer engine to any port and model, with the settings of the
// printer settings file and the options given; or only shows the printer's
// status. Meant for the people who install printers.
#include <iosfwd>
#include <string>
#include <vector>

namespace bilhetor {

// Runs the tool with the arguments after the program name. Returns the exit
// status: 0 done, 1 a printing or printer error, 2 bad usage. Messages go to
// err, the help, the status and the --mostrar dump to out. Never throws.
int ExecutarBilhetorPrint(const std::vector<std::string>& argumentos, std::istream& entrada, std::ostream& saida,
                          std::ostream& erro, const std::string& executavel);

// The sample separation ticket (order 57 of José Ávila, one item, attendant
// MARIA, 05/03/2024 14:20:01) as tagged lines for `colunas` columns.
std::vector<std::string> TicketExemplo(int colunas);

// Printer bytes in readable form: control bytes by name ([ESC], [GS], [LF]
// ...), other non-printable bytes by their decimal value, a line break after
// each line feed.
std::string DescreverBytes(const std::string& bytes);

}  // namespace bilhetor
