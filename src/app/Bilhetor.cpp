#include "app/Bilhetor.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/ConfiguraSerial.h"
#include "app/TabelaConfiguracao.h"
#include "common/Strings.h"
#include "device/Device.h"

namespace bilhetor {

namespace {

const char* const kNomesPaginaCodigo[] = {"pcNone", "pc437", "pc850", "pc852", "pc860", "pcUTF8", "pc1252"};

// The first line of a text file, whole, without its line end. Raises when
// the file exists but cannot be read.
std::string PrimeiraLinha(const std::string& conteudo) {
  std::string linha = conteudo.substr(0, conteudo.find('\n'));
  if (!linha.empty() && linha.back() == '\r') linha.pop_back();
  return linha;
}

std::string LerArquivoTexto(const std::string& arquivo) {
  std::error_code ec;
  if (std::filesystem::is_directory(arquivo, ec)) throw Exception("I/O error 21: " + arquivo);
  std::ifstream in(arquivo, std::ios::binary);
  if (!in) throw Exception("I/O error 5: " + arquivo);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::string SomenteDigitos(const std::string& Texto) {
  const std::string digitos = OnlyDigits(Texto);
  return digitos.empty() ? "00000000000" : digitos;
}

TServidorBanco LerServidorBanco(const std::string& conteudo) {
  TServidorBanco s;
  s.Host = PrimeiraLinha(conteudo);
  const std::size_t fim = conteudo.find('\n');
  if (fim == std::string::npos) return s;
  const std::string porta = Trim(PrimeiraLinha(conteudo.substr(fim + 1)));
  if (porta.empty()) return s;
  int n = 0;
  if (porta.find_first_not_of("0123456789") != std::string::npos || !TryStrToInt(porta, n) || n < 1 || n > 65535) {
    s.Aviso = "A segunda linha de sys.txt n\xE3o \xE9 uma porta (" + porta + "): usada a porta 3306.";
    return s;
  }
  s.Porta = n;
  return s;
}

TfrmBilhetor::TfrmBilhetor(TPastas pastas, TRelogioLocal& relogio, TMensagens& mensagens)
    : pastas_(std::move(pastas)),
      relogio_(relogio),
      mensagens_(mensagens),
      semDialogos_(std::make_unique<TSemDialogos>()),
      mediaPlayerArquivo_(std::make_unique<TMediaPlayerArquivo>()),
      dialogos_(*semDialogos_),
      mediaPlayer_(*mediaPlayerArquivo_) {
  Preparar();
}

TfrmBilhetor::TfrmBilhetor(TPastas pastas, TRelogioLocal& relogio, TMensagens& mensagens, TDialogos& dialogos,
                           TMediaPlayer& mediaPlayer)
    : pastas_(std::move(pastas)),
      relogio_(relogio),
      mensagens_(mensagens),
      dialogos_(dialogos),
      mediaPlayer_(mediaPlayer) {
  Preparar();
}

void TfrmBilhetor::Preparar() {
  PrepararImpressora(PosPrinter1);
  PosPrinter1.Device().SetPastaDispositivos(pastas_.Dispositivos);
  DbConnection1.ProviderName = "MySQL";
  DbConnection1.SetServer("localhost");
  DbConnection1.SetPort(3306);
  DbConnection1.SetDatabase("beleza");
  DbConnection1.SetUsername("root");
  DbConnection1.LoginPrompt = false;
  // No statement of the print server waits long on a row or table that the
  // order system holds: a mark that cannot get its row within two seconds
  // fails and is retried from the journal. Servers that lack one of these
  // settings keep their own.
  DbConnection1.AfterConnect = [](TDbConnection& conexao) {
    for (const char* limite : {"SET SESSION innodb_lock_wait_timeout = 2", "SET SESSION lock_wait_timeout = 5",
                               "SET SESSION max_statement_time = 20", "SET SESSION max_execution_time = 20000"}) {
      try {
        conexao.Internal()->ExecuteDirect(limite);
      } catch (const EDbError&) {
      }
    }
  };
}

std::string TfrmBilhetor::ArquivoDiario() const {
  // One journal per database: item ids mean something only in theirs.
  std::string banco = DbConnection1.Database();
  for (char& c : banco)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-')) c = '_';
  std::string pasta = pastas_.Estado.empty() ? PastaEstado() : pastas_.Estado;
  if (pasta.empty()) pasta = pastas_.Configuracao;
  return (std::filesystem::path(pasta) /
          ("diario-impressao-" + banco + ".txt"))
      .string();
}

void TfrmBilhetor::ConfigurarCiclo() {
  // The limits of the journal ([Diario]) and of a ticket ([Ticket]) from the
  // settings file.
  const TIniFile ini(ArquivoIni());
  ciclo_.DefinirLimiteTicket(
      static_cast<std::size_t>(std::max(1, ini.ReadInteger("Ticket", "TamanhoMaximoKB", kBytesMaximoTicket / 1024))) *
      1024);
  TLimitesDiario limites;
  limites.Dias = std::max(1, ini.ReadInteger("Diario", "Dias", limites.Dias));
  limites.TamanhoMaximo =
      static_cast<uint64_t>(std::max(1, ini.ReadInteger("Diario", "TamanhoMaximoMB", 64))) * 1024 * 1024;
  auto diario = std::make_unique<TDiarioImpressao>(ArquivoDiario(), limites);
  try {
    diario->Abrir(relogio_.Agora());
  } catch (const std::exception& e) {
    avisos_.Relatar("diario", std::string(kMsgSemDiario) + e.what());
    return;
  }
  ciclo_.DefinirDiario(std::move(diario));
}

bool TfrmBilhetor::ConectarBanco(std::string& motivo) {
  // Two passwords are tried; the reason given is the last attempt's. The
  // second is tried only when the first went out in a form that reveals
  // nothing (a hash, a key the shop configured, a verified TLS link): after
  // one that whoever answered could read, it would only hand over the other.
  for (const char* senha : kSenhas) {
    DbConnection1.SetPassword(senha);
    try {
      DbConnection1.Connect();
      semBanco_ = false;
      return true;
    } catch (const EDbError& e) {
      motivo = "(" + std::to_string(e.ErrorCode()) + ") " + e.what();
    } catch (const std::exception& e) {
      motivo = e.what();
    }
    if (DbConnection1.SenhaExposta()) break;
  }
  return false;
}

void TfrmBilhetor::BancoConectado() {
  terminado_ = false;
  semBanco_ = false;
  // Marks the journal still owes are made before the first cycle.
  ExecutarTratando([this] { ciclo_.ConcluirMarcas(); });
}

TfrmBilhetor::~TfrmBilhetor() = default;

std::string TfrmBilhetor::ArquivoIni() const {
  const std::string nome = std::filesystem::path(ArquivoConfiguracao(pastas_.Executavel)).filename().string();
  return (std::filesystem::path(pastas_.Configuracao) / nome).string();
}

std::string TfrmBilhetor::AcharArquivo(const std::string& nome) const {
  for (const std::string& pasta : {pastas_.Configuracao, pastas_.Fixa}) {
    const std::string caminho = (std::filesystem::path(pasta) / nome).string();
    std::error_code ec;
    if (std::filesystem::exists(caminho, ec)) return caminho;
  }
  return "";
}

// --- start-up -----------------------------------------------------------------------

void TfrmBilhetor::FormCreate() {
  cbxModelo.Items.clear();
  for (const TModeloImpressora& m : ModelosImpressora()) cbxModelo.Items.push_back(m.Nome);
  cbxPagCodigo.Items.assign(std::begin(kNomesPaginaCodigo), std::end(kNomesPaginaCodigo));

  cbxPorta.Items.clear();
  PosPrinter1.Device().AcharPortasSeriais(cbxPorta.Items, 64);
  for (const std::string& nome : PosPrinter1.Device().Spooler().ListarImpressoras().Nomes)
    cbxPorta.Items.push_back("RAW:" + nome);

  CarregarConfiguracao();
  HoraInicio = relogio_.Agora();

  if (const auto data = DataModificacao(pastas_.Executavel))
    Caption += " - ATUALIZADO EM " + FormatarData(*data) + " - " + FormatarHora(*data);

  const std::string arquivoSistema = AcharArquivo("sys.txt");
  if (arquivoSistema.empty()) {
    mensagens_.Mostrar(kMsgSemArquivoSistema, kTituloAtencao, TIconeMensagem::Erro);
    terminado_ = true;
    return;
  }
  DbConnection1.Disconnect();
  const TServidorBanco servidor = LerServidorBanco(LerArquivoTexto(arquivoSistema));
  if (!servidor.Aviso.empty()) mensagens_.Mostrar(servidor.Aviso, kTituloAtencao, TIconeMensagem::Aviso);
  DbConnection1.SetServer(servidor.Host);
  DbConnection1.SetPort(servidor.Porta);

  const std::string arquivoBanco = AcharArquivo("banco.txt");
  if (!arquivoBanco.empty()) DbConnection1.SetDatabase(PrimeiraLinha(LerArquivoTexto(arquivoBanco)));

  // Options of the database client from the [Banco] section of the settings
  // file: the authentication methods it may use, the largest packet, the
  // server's public key, TLS.
  const TIniFile ini(ArquivoIni());
  for (const char* opcao : {"AllowedAuthMethods", "MaxAllowedPacket", "ServerPublicKey", "GetServerPublicKey", "SslMode",
                            "SslCa", "SslCert", "SslKey"})
    if (ini.ValueExists("Banco", opcao)) DbConnection1.SpecificOptions.SetValue(opcao, ini.ReadString("Banco", opcao, ""));

  ConfigurarCiclo();
  std::string motivo;
  if (ConectarBanco(motivo)) {
    BancoConectado();
    return;
  }
  mensagens_.Mostrar(std::string(kMsgSemConexao) + "\r" + motivo, kTituloAtencao, TIconeMensagem::Aviso);
  terminado_ = true;
  semBanco_ = true;
  motivoSemBanco_ = motivo;
}

// --- settings file ------------------------------------------------------------------

TConfiguracaoImpressora TfrmBilhetor::ConfiguracaoDoMotor() {
  TConfiguracaoImpressora c;
  for (const TConfiguracao& l : Configuracoes())
    if (l.DoMotor) l.DoMotor(PosPrinter1, c);
  return c;
}

TConfiguracaoImpressora TfrmBilhetor::ConfiguracaoDosControles() {
  TConfiguracaoImpressora c;
  for (const TConfiguracao& l : Configuracoes()) {
    if (l.Spin) l.DefinirValor(c, (this->*l.Spin).Value());
    else if (l.Caixa) l.DefinirValor(c, (this->*l.Caixa).Checked);
    else if (l.Lista && l.Tipo == TTipoConfiguracao::Escolha) l.DefinirValor(c, (this->*l.Lista).ItemIndex);
    else if (l.Lista) c.*l.Texto = (this->*l.Lista).Text;
    else if (l.Edicao) c.*l.Texto = this->*l.Edicao;
    else if (l.DoMotor) l.DoMotor(PosPrinter1, c);  // kept in the engine only
  }
  return c;
}

void TfrmBilhetor::DefinirMarcado(TCheckBox& caixa, bool marcado, void (TfrmBilhetor::*handler)()) {
  if (caixa.Checked == marcado) return;
  caixa.Checked = marcado;
  (this->*handler)();
}

void TfrmBilhetor::CarregarConfiguracao() {
  // A missing key takes the engine's current value; the values are clamped
  // into the ranges of their controls. A check box that changes runs its
  // handler, and the port runs its own at once; the settings that live in
  // the engine only go straight to it.
  TConfiguracaoImpressora c = ConfiguracaoDoMotor();
  bilhetor::CarregarConfiguracao(TIniFile(ArquivoIni()), c);
  for (const TConfiguracao& l : Configuracoes()) {
    if (l.Spin) {
      (this->*l.Spin).SetValue(l.Valor(c));
    } else if (l.Caixa) {
      DefinirMarcado(this->*l.Caixa, l.Valor(c) != 0, l.AoMudar);
    } else if (l.Lista && l.Tipo == TTipoConfiguracao::Escolha) {
      (this->*l.Lista).ItemIndex = l.Valor(c);
    } else if (l.Lista) {
      (this->*l.Lista).Text = c.*l.Texto;
      if (l.AoMudar) (this->*l.AoMudar)();
    } else if (l.Edicao) {
      this->*l.Edicao = c.*l.Texto;
    } else if (l.ParaMotor) {
      l.ParaMotor(PosPrinter1, c);
    }
  }
}

void TfrmBilhetor::SalvarConfiguracao() {
  TIniFile ini(ArquivoIni());
  bilhetor::SalvarConfiguracao(ini, ConfiguracaoDosControles());
}

// --- activation and change handlers -------------------------------------------------

void TfrmBilhetor::bAtivarClick() {
  if (!btSerial.Enabled) {
    PosPrinter1.Desativar();
    bAtivar.Caption = "Ativar";
    btSerial.Enabled = true;
    return;
  }
  Enabled = false;
  try {
    AplicarConfiguracao(PosPrinter1, ConfiguracaoDosControles());
    PosPrinter1.Ativar();
    btSerial.Enabled = false;
    bAtivar.Caption = "Desativar";
  } catch (...) {
    Enabled = true;
    cbxModelo.ItemIndex = static_cast<int>(PosPrinter1.Modelo());
    cbxPorta.Text = PosPrinter1.Porta();
    throw;
  }
  Enabled = true;
  cbxModelo.ItemIndex = static_cast<int>(PosPrinter1.Modelo());
  cbxPorta.Text = PosPrinter1.Porta();
  // A settings file that cannot be written (a read-only folder, a full disk)
  // is reported once; printing goes on with the settings in memory.
  try {
    SalvarConfiguracao();
    if (avisos_.Encerrar("configuracao")) mensagens_.Informar("Configura\xE7\xF5" "es gravadas em " + ArquivoIni() + ".");
  } catch (const std::exception& e) {
    avisos_.Relatar("configuracao", std::string("As configura\xE7\xF5" "es n\xE3o puderam ser gravadas (a impress\xE3o segue"
                                                " com as configura\xE7\xF5" "es em mem\xF3ria): ") + e.what());
  }
}

void TfrmBilhetor::cbxModeloChange() {
  try {
    PosPrinter1.SetModelo(static_cast<TPosPrinterModelo>(cbxModelo.ItemIndex));
  } catch (...) {
    cbxModelo.ItemIndex = static_cast<int>(PosPrinter1.Modelo());
    throw;
  }
}

void TfrmBilhetor::cbxPortaChange() {
  try {
    PosPrinter1.SetPorta(cbxPorta.Text);
  } catch (...) {
    cbxPorta.Text = PosPrinter1.Porta();
    btSerial.Visible = PosPrinter1.Device().IsSerial();
    throw;
  }
  cbxPorta.Text = PosPrinter1.Porta();
  btSerial.Visible = PosPrinter1.Device().IsSerial();
}

void TfrmBilhetor::cbxPagCodigoChange() {
  PosPrinter1.SetPaginaDeCodigo(static_cast<TPosPaginaCodigo>(cbxPagCodigo.ItemIndex));
}
void TfrmBilhetor::cbControlePortaClick() { PosPrinter1.SetControlePorta(cbControlePorta.Checked); }
void TfrmBilhetor::cbCortarPapelClick() { PosPrinter1.SetCortaPapel(cbCortarPapel.Checked); }
void TfrmBilhetor::cbTraduzirTagsClick() { PosPrinter1.SetTraduzirTags(cbTraduzirTags.Checked); }
void TfrmBilhetor::cbIgnorarTagsClick() { PosPrinter1.SetIgnorarTags(cbIgnorarTags.Checked); }
void TfrmBilhetor::cbHRIClick() { PosPrinter1.ConfigBarras().MostrarCodigo = cbHRI.Checked; }
void TfrmBilhetor::cbGavetaSinalInvertidoClick() {
  PosPrinter1.ConfigGaveta().SinalInvertido = cbGavetaSinalInvertido.Checked;
}

// --- timers and the print cycle -------------------------------------------------------

void TfrmBilhetor::Timer1Timer() {
  const TDataHora agora = relogio_.Agora();
  Label4 = FormatarHora(agora);
  Label6 = FormatarHora(HoraInicio);
  // Only the time of day of the difference counts: it wraps after 24 hours.
  const long long dia = 86400000LL;
  const long long decorrido = ((MilissegundosEntre(HoraInicio, agora) % dia) + dia) % dia / 1000;
  Label7 = Format("%02lld:%02lld:%02lld", decorrido / 3600, decorrido / 60 % 60, decorrido % 60);
  if (Label7 == "00:00:02") Esconder();
}

void TfrmBilhetor::Timer2Timer() {
  const bool vez = ciclo_.ObterVez();
  MostrarEspera(!vez);
  if (vez) {
    if (bAtivar.Caption == "Ativar") bAtivarClick();
    CicloImpressao();
  } else if (Ativo()) {
    // The printer is left to the active server.
    bAtivarClick();
  }
  Label10 = FormatarHora(relogio_.Agora());
}

void TfrmBilhetor::MostrarEspera(bool emEspera) {
  if (captionAtivo_.empty()) captionAtivo_ = Caption;
  Caption = emEspera ? captionAtivo_ + " - EM ESPERA (outro servidor imprime)" : captionAtivo_;
  TrayIcon1.Hint = emEspera ? std::string(kDicaBandeja) + " (em espera)" : kDicaBandeja;
}

void TfrmBilhetor::CicloImpressao() {
  CarregarConfiguracao();
  ciclo_.Executar(seColunas.Value(), Timer2);
}

void TfrmBilhetor::Button1Click() {
  if (Timer2.Enabled()) {
    Timer2.SetEnabled(false);
    Button1.Caption = "INICIAR";
  } else {
    Timer2.SetEnabled(true);
    Button1.Caption = "PARAR";
  }
}

// --- the window and the tray icon --------------------------------------------------------

void TfrmBilhetor::Esconder() {
  Minimizado = true;
  if (BandejaDisponivel)
    Visivel = false;
  else
    Mostrar(true);
}

void TfrmBilhetor::Mostrar(bool minimizado) {
  Minimizado = minimizado;
  if (Visivel) return;
  Visivel = true;
  FormShow();
}

void TfrmBilhetor::FormShow() { mediaPlayer_.Abrir(pastas_.Som); }

bool TfrmBilhetor::FormClose() {
  mensagens_.Mostrar(kMsgNaoFechar, kTituloAtencao, TIconeMensagem::Erro);
  return false;
}

void TfrmBilhetor::ApplicationEvents1Minimize() {
  Esconder();
  TrayIcon1.Visible = true;
}

void TfrmBilhetor::TrayIcon1DblClick() { Mostrar(false); }

void TfrmBilhetor::Restaurar1Click() { Mostrar(false); }

void TfrmBilhetor::EncerrarPrograma1Click() { FormClose(); }

void TfrmBilhetor::btSerialClick() {
  TfrConfiguraSerial dialogo(mensagens_);
  dialogo.Device().SetPorta(PosPrinter1.Device().Porta());
  dialogo.cmbPortaSerial.Text = cbxPorta.Text;
  dialogo.Device().SetParamsString(PosPrinter1.Device().ParamsString());
  dialogo.FormShow();
  if (dialogos_.MostrarModal(dialogo) != TModalResult::mrOk) return;
  cbxPorta.Text = dialogo.Device().Porta();
  PosPrinter1.Device().SetParamsString(dialogo.Device().ParamsString());
}

bool TfrmBilhetor::ExecutarTratando(const std::function<void()>& handler) {
  return bilhetor::ExecutarTratando(mensagens_, handler);
}

}  // namespace bilhetor
