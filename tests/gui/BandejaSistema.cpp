#include "BandejaSistema.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <stdexcept>

namespace bilhetor::testing {
namespace {

// The server's replies and events are malloc'ed by xcb.
template <typename T>
using Resposta = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Resposta<T> Guardar(T* resposta) {
  return Resposta<T>(resposta, &std::free);
}

xcb_atom_t Atomo(xcb_connection_t* c, const char* nome) {
  auto r = Guardar(xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(nome)), nome), nullptr));
  if (!r) throw std::runtime_error(std::string("the X server did not intern ") + nome);
  return r->atom;
}

xcb_window_t Dono(xcb_connection_t* c, xcb_atom_t selecao) {
  auto r = Guardar(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selecao), nullptr));
  return r ? r->owner : XCB_NONE;
}

// The system tray protocol's opcode for an icon asking to be docked.
constexpr std::uint32_t kPedidoDeEncaixe = 0;

}  // namespace

void BandejaSistema::Desconectar::operator()(xcb_connection_t* c) const { xcb_disconnect(c); }

BandejaSistema::BandejaSistema(const std::string& display) {
  conexao_.reset(xcb_connect(display.c_str(), nullptr));
  xcb_connection_t* c = conexao_.get();
  if (xcb_connection_has_error(c)) throw std::runtime_error("cannot open the display " + display);
  xcb_screen_t* tela = xcb_setup_roots_iterator(xcb_get_setup(c)).data;

  // The tray's own window, where docked icons are shown: mapped, so that
  // their pictures can be read back.
  janela_ = xcb_generate_id(c);
  const std::uint32_t valores[] = {tela->white_pixel,
                                   XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, janela_, tela->root, 0, 0, 64, 64, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    tela->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, valores);
  xcb_map_window(c, janela_);

  const xcb_atom_t selecao = Atomo(c, "_NET_SYSTEM_TRAY_S0");
  opcode_ = Atomo(c, "_NET_SYSTEM_TRAY_OPCODE");
  if (Dono(c, selecao) != XCB_NONE) throw std::runtime_error("another system tray runs on " + display);
  xcb_set_selection_owner(c, janela_, selecao, XCB_CURRENT_TIME);
  if (Dono(c, selecao) != janela_) throw std::runtime_error("the tray selection could not be taken on " + display);

  // Programs already running learn of a new tray from this announcement.
  xcb_client_message_event_t anuncio{};
  anuncio.response_type = XCB_CLIENT_MESSAGE;
  anuncio.format = 32;
  anuncio.window = tela->root;
  anuncio.type = Atomo(c, "MANAGER");
  anuncio.data.data32[0] = XCB_CURRENT_TIME;
  anuncio.data.data32[1] = selecao;
  anuncio.data.data32[2] = janela_;
  xcb_send_event(c, 0, tela->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&anuncio));
  xcb_flush(c);
}

BandejaSistema::~BandejaSistema() = default;

void BandejaSistema::Tratar(std::chrono::milliseconds limite) {
  xcb_connection_t* c = conexao_.get();
  pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
  ::poll(&p, 1, static_cast<int>(limite.count()));
  while (auto evento = Guardar(xcb_poll_for_event(c))) {
    if ((evento->response_type & 0x7F) != XCB_CLIENT_MESSAGE) continue;
    const auto* mensagem = reinterpret_cast<const xcb_client_message_event_t*>(evento.get());
    if (mensagem->type != opcode_ || mensagem->data.data32[1] != kPedidoDeEncaixe || icone_ != 0) continue;
    // Embedded as a panel does: moved into the tray's window and shown.
    icone_ = mensagem->data.data32[2];
    xcb_reparent_window(c, icone_, janela_, 0, 0);
    xcb_map_window(c, icone_);
    xcb_flush(c);
  }
  if (xcb_connection_has_error(c)) throw std::runtime_error("the X server closed the tray's connection");
}

std::uint32_t BandejaSistema::EsperarIcone(std::chrono::milliseconds limite) {
  const auto fim = std::chrono::steady_clock::now() + limite;
  while (icone_ == 0 && std::chrono::steady_clock::now() < fim)
    Tratar(std::chrono::duration_cast<std::chrono::milliseconds>(fim - std::chrono::steady_clock::now()));
  return icone_;
}

int BandejaSistema::CoresDoIcone() {
  Tratar(std::chrono::milliseconds(0));
  if (icone_ == 0) return 0;
  xcb_connection_t* c = conexao_.get();
  auto geometria = Guardar(xcb_get_geometry_reply(c, xcb_get_geometry(c, icone_), nullptr));
  if (!geometria) return 0;
  auto imagem = Guardar(xcb_get_image_reply(
      c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, icone_, 0, 0, geometria->width, geometria->height, ~0u),
      nullptr));
  // Depths 24 and 32 come as four bytes a pixel; the alpha byte is left out.
  if (!imagem || imagem->depth < 24) return 0;
  const std::uint8_t* dados = xcb_get_image_data(imagem.get());
  const int tamanho = xcb_get_image_data_length(imagem.get());
  std::set<std::uint32_t> cores;
  for (int i = 0; i + 3 < tamanho; i += 4) {
    std::uint32_t pixel;
    std::memcpy(&pixel, dados + i, sizeof pixel);
    cores.insert(pixel & 0xFFFFFFu);
  }
  return static_cast<int>(cores.size());
}

}  // namespace bilhetor::testing
