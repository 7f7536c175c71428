// The display on Windows: a session with a desktop the operator sees (not a
// service's), in which the window module shows the program in the
// notification area.
#include <windows.h>

#include "app/Plataforma.h"

namespace bilhetor {

const char* const kModuloJanela = "bilhetor-janela.dll";

TAjudaPlataforma AjudaDaPlataforma() {
  return {"Na area de trabalho, o servidor fica na area de notificacao, com a janela dos\n"
          "relogios e da configuracao da impressora; o fim da sessao o encerra entre dois\n"
          "ciclos.\n",
          "                  termina com Ctrl-C, Ctrl-Break ou o fim da sessao entre dois ciclos\n",
          "  --pasta PASTA   pasta de sys.txt, banco.txt e bilhetor.ini (padrao: a pasta do\n"
          "                  programa; C:\\bkp para o programa instalado em Arquivos de Programas);\n"
          "                  sys.txt e banco.txt ausentes nela sao procurados em C:\\bkp\n",
          "  --estado PASTA  pasta do diario de tickets impressos (padrao: %LOCALAPPDATA%\\Bilhetor)\n"};
}

bool ServidorXResponde() { return false; }

TTela VerTela() {
  USEROBJECTFLAGS flags{};
  const HWINSTA estacao = GetProcessWindowStation();
  if (estacao && GetUserObjectInformationW(estacao, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      (flags.dwFlags & WSF_VISIBLE))
    return TTela::Plataforma;
  return TTela::Nenhuma;
}

}  // namespace bilhetor
