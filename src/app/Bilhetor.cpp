#include "app/Bilhetor.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/ConfiguraSerial.h"
#include "common/Strings.h"
#include "db/MySqlEscape.h"
#include "device/Device.h"

namespace bilhetor {

namespace {

const char* const kNomesPaginaCodigo[] = {"pcNone", "pc437", "pc850", "pc852", "pc860", "pcUTF8", "pc1252"};

// The fields of a query's current row, read the way the ticket reads them.
class TCamposQuery : public TCampos {
 public:
  explicit TCamposQuery(TDbQuery& query) : query_(query) {}
  std::string Texto(const std::string& campo) const override { return query_.FieldByName(campo).AsString(); }
  int Inteiro(const std::string& campo) const override { return query_.FieldByName(campo).AsInteger(); }
  double Numero(const std::string& campo) const override { return query_.FieldByName(campo).AsFloat(); }

 private:
  TDbQuery& query_;
};

// Closes a query and gives it a new statement, line by line.
void DefinirSql(TDbQuery& query, std::initializer_list<std::string> linhas) {
  query.Close();
  query.SQL.Clear();
  for (const std::string& linha : linhas) query.SQL.Add(linha);
}

// The volume total in ten-thousandths plus one quantity, the sum rounded to
// the nearest ten-thousandth (ties to even, the processor's rounding mode).
int64_t SomarVolume(int64_t total, double quantidade) {
  return static_cast<int64_t>(std::nearbyint(static_cast<double>(total) + quantidade * 10000.0));
}

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
  if (porta.find_first_not_of("0123456789") != std::string::npos || !TryStrToInt(porta, n) || n < 1 || n > 65535)
    throw Exception("Porta do banco de dados inv\xE1lida na segunda linha de sys.txt: " + porta);
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
  for (int m = 0; m <= static_cast<int>(TPosPrinterModelo::ppEscGPrinter); ++m)
    cbxModelo.Items.push_back(NomeModeloEnum(static_cast<TPosPrinterModelo>(m)));
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
  DbConnection1.SetServer(servidor.Host);
  DbConnection1.SetPort(servidor.Porta);

  const std::string arquivoBanco = AcharArquivo("banco.txt");
  if (!arquivoBanco.empty()) DbConnection1.SetDatabase(PrimeiraLinha(LerArquivoTexto(arquivoBanco)));

  // Options of the database client from the [Banco] section of the settings
  // file: the authentication methods it may use and the largest packet.
  const TIniFile ini(ArquivoIni());
  for (const char* opcao : {"AllowedAuthMethods", "MaxAllowedPacket"})
    if (ini.ValueExists("Banco", opcao)) DbConnection1.SpecificOptions.SetValue(opcao, ini.ReadString("Banco", opcao, ""));

  // Two passwords are tried; the errors of the attempts are not shown.
  for (const char* senha : kSenhas) {
    DbConnection1.SetPassword(senha);
    try {
      DbConnection1.Connect();
      return;
    } catch (const std::exception&) {
    }
  }
  mensagens_.Mostrar(kMsgSemConexao, kTituloAtencao, TIconeMensagem::Aviso);
  terminado_ = true;
}

// --- settings file ------------------------------------------------------------------

TConfiguracaoImpressora TfrmBilhetor::ConfiguracaoDoMotor() {
  TPosPrinter& p = PosPrinter1;
  TConfiguracaoImpressora c;
  c.Modelo = p.Modelo();
  c.Porta = p.Porta();
  c.DeviceParams = p.Device().ParamsString();
  c.Colunas = p.ColunasFonteNormal();
  c.EspacoEntreLinhas = p.EspacoEntreLinhas();
  c.LinhasBuffer = p.LinhasBuffer();
  c.LinhasPular = p.LinhasEntreCupons();
  c.CortarPapel = p.CortaPapel();
  c.ControlePorta = p.ControlePorta();
  c.TraduzirTags = p.TraduzirTags();
  c.IgnorarTags = p.IgnorarTags();
  c.ArqLog = p.ArqLOG();
  c.PaginaDeCodigo = p.PaginaDeCodigo();
  c.BarrasLargura = p.ConfigBarras().LarguraLinha;
  c.BarrasAltura = p.ConfigBarras().Altura;
  c.HRI = p.ConfigBarras().MostrarCodigo;
  c.QRCodeTipo = p.ConfigQRCode().Tipo();
  c.QRCodeLarguraModulo = p.ConfigQRCode().LarguraModulo();
  c.QRCodeErrorLevel = p.ConfigQRCode().ErrorLevel();
  c.LogoKC1 = p.ConfigLogo().KeyCode1;
  c.LogoKC2 = p.ConfigLogo().KeyCode2;
  c.LogoFatorX = p.ConfigLogo().FatorX;
  c.LogoFatorY = p.ConfigLogo().FatorY;
  c.GavetaNumero = 1;
  c.GavetaTempoOn = p.ConfigGaveta().TempoON;
  c.GavetaTempoOff = p.ConfigGaveta().TempoOFF;
  c.GavetaSinalInvertido = p.ConfigGaveta().SinalInvertido;
  return c;
}

TConfiguracaoImpressora TfrmBilhetor::ConfiguracaoDosControles() {
  TConfiguracaoImpressora c;
  c.Modelo = static_cast<TPosPrinterModelo>(cbxModelo.ItemIndex);
  c.Porta = cbxPorta.Text;
  c.DeviceParams = PosPrinter1.Device().ParamsString();
  c.Colunas = seColunas.Value();
  c.EspacoEntreLinhas = seEspLinhas.Value();
  c.LinhasBuffer = seLinhasBuffer.Value();
  c.LinhasPular = seLinhasPular.Value();
  c.CortarPapel = cbCortarPapel.Checked;
  c.ControlePorta = cbControlePorta.Checked;
  c.TraduzirTags = cbTraduzirTags.Checked;
  c.IgnorarTags = cbIgnorarTags.Checked;
  c.ArqLog = edLog;
  c.PaginaDeCodigo = static_cast<TPosPaginaCodigo>(cbxPagCodigo.ItemIndex);
  c.BarrasLargura = seBarrasLargura.Value();
  c.BarrasAltura = seBarrasAltura.Value();
  c.HRI = cbHRI.Checked;
  c.QRCodeTipo = seQRCodeTipo.Value();
  c.QRCodeLarguraModulo = seQRCodeLarguraModulo.Value();
  c.QRCodeErrorLevel = seQRCodeErrorLevel.Value();
  c.LogoKC1 = seLogoKC1.Value();
  c.LogoKC2 = seLogoKC2.Value();
  c.LogoFatorX = seLogoFatorX.Value();
  c.LogoFatorY = seLogoFatorY.Value();
  c.GavetaNumero = seGavetaNum.Value();
  c.GavetaTempoOn = seGavetaTempoON.Value();
  c.GavetaTempoOff = seGavetaTempoOFF.Value();
  c.GavetaSinalInvertido = cbGavetaSinalInvertido.Checked;
  return c;
}

void TfrmBilhetor::DefinirMarcado(TCheckBox& caixa, bool marcado, void (TfrmBilhetor::*handler)()) {
  if (caixa.Checked == marcado) return;
  caixa.Checked = marcado;
  (this->*handler)();
}

void TfrmBilhetor::CarregarConfiguracao() {
  // A missing key takes the engine's current value; the values are clamped
  // into the ranges of their controls.
  TConfiguracaoImpressora c = ConfiguracaoDoMotor();
  bilhetor::CarregarConfiguracao(TIniFile(ArquivoIni()), c);

  cbxModelo.ItemIndex = static_cast<int>(c.Modelo);
  cbxPorta.Text = c.Porta;
  cbxPortaChange();
  PosPrinter1.Device().SetParamsString(c.DeviceParams);
  seColunas.SetValue(c.Colunas);
  seEspLinhas.SetValue(c.EspacoEntreLinhas);
  seLinhasBuffer.SetValue(c.LinhasBuffer);
  seLinhasPular.SetValue(c.LinhasPular);
  DefinirMarcado(cbCortarPapel, c.CortarPapel, &TfrmBilhetor::cbCortarPapelClick);
  DefinirMarcado(cbControlePorta, c.ControlePorta, &TfrmBilhetor::cbControlePortaClick);
  DefinirMarcado(cbTraduzirTags, c.TraduzirTags, &TfrmBilhetor::cbTraduzirTagsClick);
  DefinirMarcado(cbIgnorarTags, c.IgnorarTags, &TfrmBilhetor::cbIgnorarTagsClick);
  edLog = c.ArqLog;
  cbxPagCodigo.ItemIndex = static_cast<int>(c.PaginaDeCodigo);
  seBarrasLargura.SetValue(c.BarrasLargura);
  seBarrasAltura.SetValue(c.BarrasAltura);
  DefinirMarcado(cbHRI, c.HRI, &TfrmBilhetor::cbHRIClick);
  seQRCodeTipo.SetValue(c.QRCodeTipo);
  seQRCodeLarguraModulo.SetValue(c.QRCodeLarguraModulo);
  seQRCodeErrorLevel.SetValue(c.QRCodeErrorLevel);
  seLogoKC1.SetValue(c.LogoKC1);
  seLogoKC2.SetValue(c.LogoKC2);
  seLogoFatorX.SetValue(c.LogoFatorX);
  seLogoFatorY.SetValue(c.LogoFatorY);
  seGavetaNum.SetValue(c.GavetaNumero);
  seGavetaTempoON.SetValue(c.GavetaTempoOn);
  seGavetaTempoOFF.SetValue(c.GavetaTempoOff);
  DefinirMarcado(cbGavetaSinalInvertido, c.GavetaSinalInvertido, &TfrmBilhetor::cbGavetaSinalInvertidoClick);
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
    SalvarConfiguracao();
  } catch (...) {
    Enabled = true;
    cbxModelo.ItemIndex = static_cast<int>(PosPrinter1.Modelo());
    cbxPorta.Text = PosPrinter1.Porta();
    throw;
  }
  Enabled = true;
  cbxModelo.ItemIndex = static_cast<int>(PosPrinter1.Modelo());
  cbxPorta.Text = PosPrinter1.Porta();
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
  if (bAtivar.Caption == "Ativar") bAtivarClick();
  CicloImpressao();
  Label10 = FormatarHora(relogio_.Agora());
}

void TfrmBilhetor::AdicionarLinhas(const std::vector<std::string>& linhas) {
  for (const std::string& linha : linhas) PosPrinter1.Buffer().Add(linha);
}

void TfrmBilhetor::CicloImpressao() {
  CarregarConfiguracao();
  const int colunasTicket = seColunas.Value();

  DefinirSql(qryComandas, {"select imprimir.numped,imprimir.tipo,",
                            " cadcliente.cliente,cadcliente.fantasia,",
                            " cadcliente.endereco,cadcliente.numero,",
                            " cadcliente.tel1,cadcliente.tel2,",
                            " cadcliente.cidade,cadcliente.uf,pedido.obs2",
                            " from  imprimir,pedido,cadcliente,cadprod",
                            " where imprimir.CodProd = cadprod.codprod",
                            " and pedido.CodCli      = cadcliente.codcli",
                            " and imprimir.NumPed    = pedido.numped",
                            " and imprimir.impressao = 'N'",
                            " and cadprod.revenda    = 'S'",
                            " group by pedido.numped",
                            " order by pedido.numped"});
  qryComandas.Open();

  Timer2.SetEnabled(false);
  qryComandas.First();
  while (!qryComandas.Eof()) {
    ImprimirPedido(colunasTicket);
    qryComandas.Next();
  }
  Timer2.SetEnabled(true);
}

void TfrmBilhetor::ImprimirPedido(int colunasTicket) {
  const TCamposQuery pedido(qryComandas);
  PosPrinter1.Buffer().Clear();
  AdicionarLinhas(CabecalhoTicket(pedido, colunasTicket, relogio_.Agora()));
  const std::string numped = pedido.Texto("numped");

  // The order number goes into the statement as a quoted, escaped literal:
  // it is text from the database, never SQL.
  DefinirSql(qryItens, {"select imprimir.id, imprimir.codprod,",
                         " cadprod.descricao,cadprod.und,imprimir.qtde, ",
                         " cadprod.ean13",
                         " from imprimir,cadprod ",
                         " where imprimir.impressao='N'",
                         " and (cadprod.revenda='S'",
                         " or cadprod.ImpOS='S')",
                         " and imprimir.codprod=cadprod.codprod",
                         " and imprimir.numped=" + LiteralSql(DbConnection1, numped),
                         " group by imprimir.id"});
  qryItens.Open();
  qryItens.First();

  const int quantidadeItens = qryItens.RecordCount();
  int64_t volumes = 0;
  // The ids of the items that go into this ticket: only these are marked
  // printed, so an item queued while the ticket is composed waits for the
  // next cycle.
  std::vector<std::string> ids;
  const TCamposQuery item(qryItens);
  while (!qryItens.Eof()) {
    AdicionarLinhas(ItemTicket(item));
    volumes = SomarVolume(volumes, item.Numero("qtde"));
    ids.push_back(item.Texto("id"));
    qryItens.Next();
  }

  DefinirSql(qryEu, {"select nome from cadfunc where codfunc in (",
                      " select codfunc from pedido ",
                      " where numped=" + SomenteDigitos(numped) + ")"});
  qryEu.Open();
  const std::string funcionario = qryEu.Eof() ? std::string() : qryEu.FieldByName("nome").AsString();

  AdicionarLinhas(RodapeTicket(pedido.Texto("tipo"), funcionario, quantidadeItens, volumes, colunasTicket));
  PosPrinter1.Imprimir("", false, true, true, 1);

  // Marked only once the engine has sent the ticket: a print that fails
  // leaves every item waiting, and a later cycle prints the ticket again.
  for (const std::string& id : ids) {
    DefinirSql(qryAtualiza2, {"update imprimir set impressao='S' where id = " + id});
    qryAtualiza2.Execute();
  }
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
