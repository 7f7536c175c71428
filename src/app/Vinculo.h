#pragma once
// One value of a model shown in a control of a view (the Qt window, the
// Win32 window): written to the control only when it differs from what the
// control last showed, so that showing the model again after every handler
// and every tick neither flickers nor overwrites what the operator is
// typing.
#include <functional>
#include <optional>
#include <utility>

namespace bilhetor {

template <typename T>
class TVinculo {
 public:
  TVinculo(std::function<T()> modelo, std::function<void(const T&)> mostrar)
      : modelo_(std::move(modelo)), mostrar_(std::move(mostrar)) {}
  void Renderizar() {
    T valor = modelo_();
    if (ultimo_ && *ultimo_ == valor) return;
    mostrar_(valor);
    ultimo_ = std::move(valor);
  }
  // The control shows this value because the operator put it there.
  void Editado(T valor) { ultimo_ = std::move(valor); }

 private:
  std::function<T()> modelo_;
  std::function<void(const T&)> mostrar_;
  std::optional<T> ultimo_;
};

}  // namespace bilhetor
