#pragma once
// The message boxes of the Windows window: one box at a time (TCaixaMensagem),
// a window of its own that does not block, so that the clocks and the print
// cycle go on while it is open and a message that keeps coming is counted in
// its caption instead of piling up boxes. Every message is also written to a
// stream (standard error) as one line with the date and time.
#include <windows.h>

#include <iosfwd>
#include <string>

#include "app/CaixaMensagem.h"

namespace bilhetor {

class TMensagensWin32 : public TMensagensJanela {
 public:
  TMensagensWin32(std::ostream& log, const TRelogioLocal& relogio, HINSTANCE instancia);
  ~TMensagensWin32() override;
  TMensagensWin32(const TMensagensWin32&) = delete;
  TMensagensWin32& operator=(const TMensagensWin32&) = delete;

  // Runs the messages until the operator closes the box (nothing when none
  // is open): the last message of a program that is about to end.
  void AguardarFechamento();
  // Enter and Esc in the box; true when the message was taken.
  bool TratarTeclado(MSG& mensagem);

  // The box while it is open, else null.
  HWND Caixa() const { return caixa_.Aberta() ? janela_ : nullptr; }

 protected:
  void Exibir() override;

 private:
  static LRESULT CALLBACK Procedimento(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Fechar();

  HINSTANCE instancia_;
  HWND janela_ = nullptr;
  HWND icone_ = nullptr, texto_ = nullptr, ok_ = nullptr;
  HFONT fonte_ = nullptr;
};

}  // namespace bilhetor
