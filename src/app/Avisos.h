#pragma once
// Conditions reported once: a cause that lasts (a mark that keeps failing, a
// settings file that cannot be written, an order set aside) is reported when
// it starts and again only when its message changes, not at every tick.
#include <map>
#include <string>

#include "app/Plataforma.h"

namespace bilhetor {

class TAvisos {
 public:
  explicit TAvisos(TMensagens& mensagens) : mensagens_(mensagens) {}
  // Reports the message as an error unless the subject's last report was the
  // same; true when it was reported now.
  bool Relatar(const std::string& assunto, const std::string& mensagem);
  // The subject's condition has ended; true when it had been reported.
  bool Encerrar(const std::string& assunto) { return relatados_.erase(assunto) != 0; }
  bool Ativo(const std::string& assunto) const { return relatados_.count(assunto) != 0; }

 private:
  TMensagens& mensagens_;
  std::map<std::string, std::string> relatados_;
};

inline bool TAvisos::Relatar(const std::string& assunto, const std::string& mensagem) {
  const auto it = relatados_.find(assunto);
  if (it != relatados_.end() && it->second == mensagem) return false;
  relatados_[assunto] = mensagem;
  mensagens_.MostrarErro(mensagem);
  return true;
}

}  // namespace bilhetor
