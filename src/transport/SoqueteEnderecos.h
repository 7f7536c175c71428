#pragma once
// The socket addresses as both platforms' socket interfaces lay them out
// (sockaddr_in, sockaddr_in6, inet_ntop, ntohs): included by
// SoqueteSistemaPosix.cpp and SoqueteSistemaWin32.cpp after their system
// headers, so that the two read addresses the same way.
#include <string>

#include "transport/SoqueteSistema.h"

namespace bilhetor::soquete::enderecos {

inline const sockaddr* Sa(const Endereco& e) { return reinterpret_cast<const sockaddr*>(e.dados); }

inline int FamiliaSistema(Familia familia) {
  switch (familia) {
    case Familia::IPv4: return AF_INET;
    case Familia::IPv6: return AF_INET6;
    case Familia::Qualquer: break;
  }
  return AF_UNSPEC;
}

inline bool EhIPv6(const Endereco& endereco) { return endereco.tamanho > 0 && Sa(endereco)->sa_family == AF_INET6; }

inline std::string TextoDe(const Endereco& endereco) {
  char text[INET6_ADDRSTRLEN] = {0};
  const sockaddr* sa = Sa(endereco);
  if (endereco.tamanho == 0) return "0.0.0.0";
  if (sa->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, text, sizeof text);
  } else if (sa->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, text, sizeof text);
  } else {
    return "0.0.0.0";
  }
  return text;
}

inline int PortaDe(const Endereco& endereco) {
  const sockaddr* sa = Sa(endereco);
  if (endereco.tamanho == 0) return 0;
  if (sa->sa_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(sa)->sin_port);
  if (sa->sa_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(sa)->sin6_port);
  return 0;
}

}  // namespace bilhetor::soquete::enderecos
