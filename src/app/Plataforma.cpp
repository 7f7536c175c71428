#include "app/Plataforma.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "common/Strings.h"
#include "db/MySqlProvider.h"
#include "device/BibliotecaDinamica.h"

namespace bilhetor {

namespace {

TDataHora DeTm(const std::tm& t, int milissegundo) {
  return TDataHora{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, milissegundo};
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long long DiasCivis(int ano, int mes, int dia) {
  const int y = mes <= 2 ? ano - 1 : ano;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * ((mes + 9) % 12) + 2) / 5 + dia - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<long long>(era) * 146097 + doe - 719468;
}

}  // namespace

TDataHora TRelogioSistema::Agora() const {
  const auto agora = std::chrono::system_clock::now();
  const std::time_t segundos = std::chrono::system_clock::to_time_t(agora);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(agora.time_since_epoch()).count() % 1000;
  std::tm t{};
  localtime_r(&segundos, &t);
  return DeTm(t, static_cast<int>(ms));
}

std::string ExecutavelAtual() {
  std::error_code ec;
  const auto caminho = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : caminho.string();
}

std::string PastaEstado() {
  const auto definida = [](const char* nome) -> std::string {
    const char* valor = std::getenv(nome);
    return valor && *valor ? valor : "";
  };
  // The service manager may name several folders, separated by colons.
  if (const std::string estado = definida("STATE_DIRECTORY"); !estado.empty()) return estado.substr(0, estado.find(':'));
  if (const std::string xdg = definida("XDG_STATE_HOME"); !xdg.empty()) return xdg + "/bilhetor";
  const std::string home = definida("HOME");
  return home.empty() ? "" : home + "/.local/state/bilhetor";
}

std::string PastaDe(const std::string& arquivo) {
  return std::filesystem::path(arquivo).parent_path().string();
}

std::optional<TDataHora> DataModificacao(const std::string& arquivo) {
  struct stat st {};
  if (::stat(arquivo.c_str(), &st) != 0) return std::nullopt;
  std::tm t{};
  const std::time_t quando = st.st_mtim.tv_sec;
  localtime_r(&quando, &t);
  return DeTm(t, static_cast<int>(st.st_mtim.tv_nsec / 1000000));
}

long long MilissegundosEntre(const TDataHora& a, const TDataHora& b) {
  const auto ms = [](const TDataHora& m) {
    return (DiasCivis(m.Ano, m.Mes, m.Dia) * 86400LL + m.Hora * 3600LL + m.Minuto * 60LL + m.Segundo) * 1000LL +
           m.Milissegundo;
  };
  return ms(b) - ms(a);
}

std::string FormatarHora(const TDataHora& m) { return Format("%02d:%02d:%02d", m.Hora, m.Minuto, m.Segundo); }

std::string FormatarData(const TDataHora& m) { return Format("%02d/%02d/%04d", m.Dia, m.Mes, m.Ano); }

namespace {

// Closes a descriptor at the end of its scope.
struct TDescritor {
  int fd = -1;
  ~TDescritor() {
    if (fd >= 0) ::close(fd);
  }
};

std::string Ambiente(const char* variavel) {
  const char* valor = std::getenv(variavel);
  return valor ? valor : "";
}

// Why the private folder cannot hold the lock file; empty when it can. The
// folder is opened without following a link and checked through the open
// descriptor, so that it cannot be swapped between the check and the use.
std::string ProblemaPastaPrivada(const std::string& pasta, TDescritor& dir) {
  if (::mkdir(pasta.c_str(), 0700) != 0 && errno != EEXIST)
    return Format("a pasta %s n\xE3o p\xF4" "de ser criada (%s)", pasta.c_str(), std::strerror(errno));
  const std::string dica = "; remova-a ou defina XDG_RUNTIME_DIR";
  dir.fd = ::open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir.fd < 0) {
    const int erro = errno;
    struct stat st {};
    if (::lstat(pasta.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
      return "a pasta " + pasta + " \xE9 um link simb\xF3lico" + dica;
    if (erro == ENOTDIR) return pasta + " n\xE3o \xE9 uma pasta" + dica;
    return Format("a pasta %s n\xE3o p\xF4" "de ser aberta (%s)", pasta.c_str(), std::strerror(erro));
  }
  struct stat st {};
  if (::fstat(dir.fd, &st) != 0) return pasta + ": " + std::strerror(errno);
  if (st.st_uid != ::geteuid())
    return Format("a pasta %s pertence a outro usu\xE1rio (uid %u)", pasta.c_str(), static_cast<unsigned>(st.st_uid)) +
           dica;
  if (st.st_mode & (S_IWGRP | S_IWOTH))
    return Format("a pasta %s pode ser gravada por outros usu\xE1rios (modo %04o)", pasta.c_str(),
                  static_cast<unsigned>(st.st_mode & 07777)) +
           dica;
  return "";
}

// Why the lock file is not one this user may lock; empty when it is.
std::string ProblemaArquivo(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return "\xE9 um link simb\xF3lico, que n\xE3o \xE9 seguido";
  if (!S_ISREG(st.st_mode)) return "n\xE3o \xE9 um arquivo comum";
  if (st.st_uid != ::geteuid()) return Format("pertence a outro usu\xE1rio (uid %u)", static_cast<unsigned>(st.st_uid));
  return "";
}

}  // namespace

TInstanciaUnica::TInstanciaUnica(const std::string& nome)
    : TInstanciaUnica(nome, Ambiente("XDG_RUNTIME_DIR"), "/tmp") {}

TInstanciaUnica::TInstanciaUnica(const std::string& nome, const std::string& runtime, const std::string& base) {
  const bool privada = runtime.empty();
  const std::string pasta = privada ? base + "/bilhetor-" + std::to_string(::geteuid()) : runtime;
  const std::string arquivo = nome + ".lock";
  arquivo_ = pasta + "/" + arquivo;
  const auto recusar = [this](const std::string& motivo) { erro_ = arquivo_ + ": " + motivo; };

  TDescritor dir;
  if (privada) {
    if (const std::string problema = ProblemaPastaPrivada(pasta, dir); !problema.empty()) {
      recusar(problema);
      return;
    }
  } else {
    dir.fd = ::open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.fd < 0) {
      recusar(std::strerror(errno));
      return;
    }
  }

  // No link is followed, and O_NONBLOCK keeps a planted FIFO from holding
  // the open; the checks after it refuse anything but a file of this user.
  const int modo = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  fd_ = ::openat(dir.fd, arquivo.c_str(), O_RDWR | O_CREAT | modo, 0600);
  if (fd_ < 0 && errno != ELOOP) fd_ = ::openat(dir.fd, arquivo.c_str(), O_RDONLY | modo);
  struct stat st {};
  if (fd_ < 0) {
    // Say what is there when it is not ours (a link, another user's file)
    // rather than only "permission denied".
    const int erro = errno;
    const std::string problema =
        ::fstatat(dir.fd, arquivo.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? ProblemaArquivo(st) : "";
    recusar(problema.empty() ? std::strerror(erro) : problema);
    return;
  }
  std::string problema = ::fstat(fd_, &st) == 0 ? ProblemaArquivo(st) : std::strerror(errno);
  if (problema.empty()) {
    int r;
    do {
      r = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r == 0) return;
    emUso_ = errno == EWOULDBLOCK;
    if (!emUso_) problema = std::strerror(errno);
  }
  ::close(fd_);
  fd_ = -1;
  if (!problema.empty()) recusar(problema);
}

TInstanciaUnica::~TInstanciaUnica() {
  if (fd_ >= 0) ::close(fd_);
}

bool ExecutarTratando(TMensagens& mensagens, const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const EAbort&) {
    return false;
  } catch (const std::exception& e) {
    mensagens.MostrarErro(e.what());
    return false;
  }
}

// --- dialogs and the media player -----------------------------------------------------------

TModalResult TSemDialogos::MostrarModal(TfrConfiguraSerial&) {
  throw Exception("Sem janela: o di\xE1logo n\xE3o pode ser mostrado");
}

namespace {

uint32_t LE4(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

}  // namespace

void TMediaPlayerArquivo::Abrir(const std::string& Arquivo) {
  const auto naoWave = [&](const std::string& motivo) {
    return EMediaPlayer("O arquivo de som " + Arquivo + " n\xE3o \xE9 um arquivo WAVE: " + motivo);
  };
  std::error_code ec;
  if (std::filesystem::is_directory(Arquivo, ec)) throw naoWave("\xE9 uma pasta");
  std::ifstream in(Arquivo, std::ios::binary);
  if (!in)
    throw EMediaPlayer("N\xE3o foi poss\xEDvel abrir o arquivo de som " + Arquivo + ": " + std::strerror(errno));
  char cabecalho[12];
  if (!in.read(cabecalho, sizeof cabecalho) || std::string(cabecalho, 4) != "RIFF" ||
      std::string(cabecalho + 8, 4) != "WAVE")
    throw naoWave("sem o cabe\xE7" "alho RIFF/WAVE");
  // The chunks that follow: a "fmt " of at least 16 bytes and a "data" chunk,
  // each whole within the file (a chunk of odd size is followed by one byte
  // of padding).
  const auto tamanho = std::filesystem::file_size(Arquivo, ec);
  if (ec) throw naoWave(ec.message());
  bool formato = false, dados = false;
  uint64_t posicao = sizeof cabecalho;
  char bloco[8];
  while (!(formato && dados) && posicao + sizeof bloco <= tamanho) {
    in.seekg(static_cast<std::streamoff>(posicao));
    if (!in.read(bloco, sizeof bloco)) break;
    const uint64_t n = LE4(bloco + 4);
    if (posicao + sizeof bloco + n > tamanho) throw naoWave("bloco " + std::string(bloco, 4) + " cortado");
    const std::string nome(bloco, 4);
    if (nome == "fmt ") {
      if (n < 16) throw naoWave("bloco fmt curto");
      formato = true;
    } else if (nome == "data") {
      dados = true;
    }
    posicao += sizeof bloco + n + (n & 1);
  }
  if (!formato) throw naoWave("sem o bloco fmt");
  if (!dados) throw naoWave("sem o bloco data");
}

// --- the window module -------------------------------------------------------------------

bool TemTela() {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (display && *display) || (wayland && *wayland);
}

namespace {

bool Definida(const char* variavel) {
  const char* valor = std::getenv(variavel);
  return valor && *valor;
}

}  // namespace

bool ServidorXResponde() {
  if (!Definida("DISPLAY")) return false;
  // The X client library that Qt's X platform uses, asked for at run time:
  // the program needs it only on a desktop.
  const auto xcb = TBibliotecaDinamica::Carregar("libxcb.so.1");
  if (!xcb) return false;
  using Conectar = void* (*)(const char*, int*);
  using Erro = int (*)(void*);
  using Desconectar = void (*)(void*);
  const auto conectar = xcb->Funcao<Conectar>("xcb_connect");
  const auto erro = xcb->Funcao<Erro>("xcb_connection_has_error");
  const auto desconectar = xcb->Funcao<Desconectar>("xcb_disconnect");
  bool responde = false;
  if (conectar && erro && desconectar) {
    void* conexao = conectar(nullptr, nullptr);
    responde = conexao && erro(conexao) == 0;
    if (conexao) desconectar(conexao);
  }
  return responde;
}

bool TelaResponde() {
  return Definida("QT_QPA_PLATFORM") || ServidorXResponde() || Definida("WAYLAND_DISPLAY");
}

void* CarregarModulo(const std::string& executavel, const char* nome, const char* entrada, std::string& falha) {
  const std::filesystem::path pasta = std::filesystem::path(executavel).parent_path();
  falha.clear();
  for (const std::filesystem::path& modulo : {pasta / nome, pasta / "../lib/bilhetor" / nome}) {
    std::error_code ec;
    if (!std::filesystem::exists(modulo, ec)) continue;
    // The module carries its own copy of the libraries it was linked with,
    // and none of its names reach the program's.
    auto biblioteca = TBibliotecaDinamica::Carregar(modulo.string(), &falha);
    if (!biblioteca) return nullptr;
    void* simbolo = biblioteca->Funcao<void*>(entrada);
    if (!simbolo) {
      falha = modulo.string() + ": " + entrada + " n\xE3o encontrada";
      return nullptr;
    }
    // A loaded module stays for the life of the process.
    static std::vector<std::unique_ptr<TBibliotecaDinamica>> modulos;
    biblioteca->Manter();
    modulos.push_back(std::move(biblioteca));
    return simbolo;
  }
  falha = std::string(nome) + " n\xE3o encontrado em " + pasta.string();
  return nullptr;
}

TExecutarJanela CarregarJanela(const std::string& executavel, std::string& falha) {
  return reinterpret_cast<TExecutarJanela>(CarregarModulo(executavel, kModuloJanela, kEntradaJanela, falha));
}

}  // namespace bilhetor
