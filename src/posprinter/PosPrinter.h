#pragma once
// TPosPrinter, the POS printer engine: takes 8-bit text marked up with tags,
// converts it to the printer's code page, replaces every tag by the bytes of
// the current model's command set and sends the result through its device.
//
// It owns the device, the tag processor, the command set of the current model,
// five configuration objects, the buffer of pending lines and the log.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "device/DeviceLog.h"
#include "posprinter/PosBuffer.h"
#include "posprinter/PosModelos.h"
#include "posprinter/PosPrinterClass.h"
#include "posprinter/PosTypes.h"

namespace bilhetor {

class TDevice;
class TTagProcessor;
class TPosPrinterHook;

// A log or send event: ALogLine is the text, Tratado (false on entry) tells the
// engine that the handler has dealt with it.
using TGravarLog = std::function<void(const std::string& ALogLine, bool& Tratado)>;

struct TConfigBarras {
  bool MostrarCodigo = false;
  int Altura = 0;
  int LarguraLinha = 0;
  int Margem = 0;
};

// QR code settings; the setters clamp to what the printers accept.
class TConfigQRCode {
 public:
  int ErrorLevel() const { return errorLevel_; }
  int LarguraModulo() const { return larguraModulo_; }
  int Tipo() const { return tipo_; }
  void SetErrorLevel(int v) { errorLevel_ = v > 2 ? 3 : (v < 0 ? 0 : v); }
  void SetLarguraModulo(int v) { larguraModulo_ = v > 15 ? 16 : (v < 1 ? 1 : v); }
  void SetTipo(int v) { tipo_ = v > 1 ? 2 : 1; }

 private:
  int errorLevel_ = 0;
  int larguraModulo_ = 4;
  int tipo_ = 2;
};

struct TConfigLogo {
  uint8_t FatorX = 1;
  uint8_t FatorY = 1;
  bool IgnorarLogo = false;
  uint8_t KeyCode1 = 32;
  uint8_t KeyCode2 = 32;
};

struct TConfigGaveta {
  bool SinalInvertido = false;
  uint8_t TempoOFF = 200;
  uint8_t TempoON = 50;
};

struct TConfigModoPagina {
  TPosDirecao Direcao = TPosDirecao::dirEsquerdaParaDireita;
  uint8_t EspacoEntreLinhas = 0;
  int Largura = 0;
  int Altura = 0;
  int Esquerda = 0;
  int Topo = 0;
};

// The local time of the log lines (the machine's clock unless a test fixes it).
using TRelogio = std::function<TMomentoLog()>;
TMomentoLog AgoraLocal();

// Builds the command set that serves a model.
using TFabricaConjuntoComandos = std::function<std::unique_ptr<TPosPrinterClass>(TPosPrinterModelo, TPosPrinter&)>;
// The system's factory is CriarConjuntoComandos (posprinter/PosModelos.h),
// which reads the table of models.

// Text alignment inside Largura columns (byte counts; escape sequences inside
// the text count too). Longer texts are cut to their first Largura bytes.
std::string AlinharEsquerdaTexto(const std::string& Texto, int Largura);
std::string AlinharDireitaTexto(const std::string& Texto, int Largura);
std::string CentralizarTexto(const std::string& Texto, int Largura);

class TPosPrinter {
 public:
  // fabrica builds the command set at each model change; tests inject their
  // own, the system uses CriarConjuntoComandos.
  explicit TPosPrinter(TFabricaConjuntoComandos fabrica = CriarConjuntoComandos);
  ~TPosPrinter();
  TPosPrinter(const TPosPrinter&) = delete;
  TPosPrinter& operator=(const TPosPrinter&) = delete;

  // --- Published properties -------------------------------------------------
  TPosPrinterModelo Modelo() const { return modelo_; }
  void SetModelo(TPosPrinterModelo Valor);

  std::string Porta() const;
  void SetPorta(const std::string& Valor);

  TDevice& Device() { return *device_; }
  const TDevice& Device() const { return *device_; }

  TPosPaginaCodigo PaginaDeCodigo() const { return paginaDeCodigo_; }
  void SetPaginaDeCodigo(TPosPaginaCodigo v) { paginaDeCodigo_ = v; }
  int ColunasFonteNormal() const { return colunasFonteNormal_; }
  void SetColunasFonteNormal(int v) { colunasFonteNormal_ = v; }
  uint8_t EspacoEntreLinhas() const { return espacoEntreLinhas_; }
  void SetEspacoEntreLinhas(uint8_t v) { espacoEntreLinhas_ = v; }

  TConfigBarras& ConfigBarras() { return configBarras_; }
  TConfigQRCode& ConfigQRCode() { return configQRCode_; }
  TConfigLogo& ConfigLogo() { return configLogo_; }
  TConfigGaveta& ConfigGaveta() { return configGaveta_; }
  TConfigModoPagina& ConfigModoPagina() { return configModoPagina_; }
  const TConfigBarras& ConfigBarras() const { return configBarras_; }
  const TConfigQRCode& ConfigQRCode() const { return configQRCode_; }
  const TConfigLogo& ConfigLogo() const { return configLogo_; }
  const TConfigGaveta& ConfigGaveta() const { return configGaveta_; }
  const TConfigModoPagina& ConfigModoPagina() const { return configModoPagina_; }

  int LinhasEntreCupons() const { return linhasEntreCupons_; }
  void SetLinhasEntreCupons(int v) { linhasEntreCupons_ = v; }
  bool CortaPapel() const { return cortaPapel_; }
  void SetCortaPapel(bool v) { cortaPapel_ = v; }
  TPosTipoCorte TipoCorte() const { return tipoCorte_; }
  void SetTipoCorte(TPosTipoCorte v) { tipoCorte_ = v; }
  bool TraduzirTags() const;
  void SetTraduzirTags(bool v);
  bool IgnorarTags() const;
  void SetIgnorarTags(bool v);
  int LinhasBuffer() const { return linhasBuffer_; }
  void SetLinhasBuffer(int v) { linhasBuffer_ = v; }
  bool ControlePorta() const { return controlePorta_; }
  void SetControlePorta(bool v) { controlePorta_ = v; }
  bool VerificarImpressora() const { return verificarImpressora_; }
  void SetVerificarImpressora(bool v) { verificarImpressora_ = v; }
  const std::string& ArqLOG() const { return arqLOG_; }
  // The engine and its device log to the same file.
  void SetArqLOG(const std::string& v);
  TGravarLog OnGravarLog;
  TGravarLog OnEnviarStringDevice;

  // --- State -----------------------------------------------------------------
  bool Ativo() const { return ativo_; }
  void SetAtivo(bool Valor);
  bool InicializacaoEnviada() const { return inicializacaoEnviada_; }
  TPosFonte EstadoFonte() const { return estadoFonte_; }
  int AlinhamentoAtual() const { return alinhamentoAtual_; }
  bool ModoPaginaLigado() const { return modoPaginaLigado_; }
  TPosPrinterClass& ConjuntoComandos() { return *conjuntoComandos_; }
  TTagProcessor& TagProcessor() { return *tagProcessor_; }

  // Pending lines; appending may print by itself (LinhasBuffer).
  TPosBuffer& Buffer() { return buffer_; }

  // --- Operations ------------------------------------------------------------
  void Ativar();
  void Desativar();
  // Prints the buffer's lines and TextoExtra. A "</reset>" of the text (not
  // inside a block) is followed on the printer by the initialization, on
  // every copy, unless a "</zera>" comes after it: the reset would wipe an
  // initialization sent in front of the text. When the translation of the
  // tags or a send fails, the engine forgets what the text told it about the
  // printer: the font state goes back to afNormal, alignment to the left,
  // page mode off, and the next send initializes the printer again. A print
  // refused before its tags are translated (inactive engine, printer check)
  // changes none of this.
  void Imprimir(const std::string& TextoExtra = "", bool AvancarNoFim = false, bool DecodificarTags = true,
                bool ConverterPagina = true, int Copias = 1);
  // Whether the last Imprimir failed on its text (the code page conversion or
  // a tag, such as a picture file that cannot be read) rather than on the
  // printer (inactive engine, printer check, activation, send): a text that
  // fails would fail on any printer, so the caller can set it aside.
  bool FalhouNoTexto() const { return falhouNoTexto_; }
  // The bytes the engine has handed to the device (or to
  // OnEnviarStringDevice) since it was made, initializations included.
  uint64_t BytesEnviados() const { return bytesEnviados_; }
  // Sends Dados, preceded by the initialization when the printer has not had
  // it; a text that already holds the initialization goes alone, and so does
  // a text that is exactly the reset, after which the next send initializes.
  // Dados is taken as opaque bytes: a reset inside it is not looked for (the
  // bytes of a picture or a barcode may look like one). A failed send leaves
  // InicializacaoEnviada false.
  void EnviarStringDevice(const std::string& Dados);
  std::string TransmitirReceber(const std::string& Comando, uint8_t BytesParaLer, int Timeout,
                                bool AguardarTerminador);
  void AtivarPorta();
  void DesativarPorta();
  void RegistrarLog(std::string Linha, bool Traduzir, bool ComHora);
  std::string CodificarPaginaDeCodigo(std::string_view Texto) const;
  int ColunasAtuais() const;

  // Tag handlers of the tag processor.
  void TraduzirTag(const std::string& Tag, std::string& Resultado);
  void TraduzirTagBloco(const std::string& Tag, const std::string& Conteudo, std::string& Resultado);
  // The "<bmp>" block: a text picture of 0 and 1, Base64 BMP data or a file path.
  std::string ImprimirImagem(const std::string& Conteudo);

  static std::string AjustarQuebrasLinha(std::string_view Texto, std::string_view Quebra);

  // The printer check that Imprimir runs first when VerificarImpressora is
  // set: it raises EPosPrinterException to stop the print. Installed by the
  // status reading of the command sets; none means nothing is asked.
  using TVerificadorImpressora = std::function<void(TPosPrinter&)>;
  void SetVerificadorImpressora(TVerificadorImpressora v) { verificador_ = std::move(v); }

  // The clock of the log lines (tests fix it).
  void SetRelogio(TRelogio relogio) { relogio_ = std::move(relogio); }

 private:
  void EsvaziarBuffer();
  // EnviarStringDevice, told where the text's last reset ends (npos: none).
  void Enviar(const std::string& Dados, std::size_t fimReset);
  std::string ConverterEAjustar(std::string_view Texto, bool Converter) const;
  void ConfigurarHook();
  void LiberarHook();
  void ConfigurarTags();
  std::string TraduzirTagSimples(const std::string& Tag);
  std::string TraduzirBlocoPadrao(const std::string& Tag, const std::string& Conteudo);
  void LimparEstilos();
  // Back to the state of a printer the engine has told nothing.
  void EsquecerEstadoImpressora();
  std::string Carimbo(bool comAno) const;
  bool LogAtivo() const { return OnGravarLog || !arqLOG_.empty(); }
  bool falhouNoTexto_ = false;
  uint64_t bytesEnviados_ = 0;

  std::unique_ptr<TDevice> device_;
  std::unique_ptr<TPosPrinterHook> hook_;
  TFabricaConjuntoComandos fabrica_;
  std::unique_ptr<TPosPrinterClass> conjuntoComandos_;
  TPosPrinterModelo modelo_ = TPosPrinterModelo::ppTexto;
  bool ativo_ = false;
  bool inicializacaoEnviada_ = false;
  TPosFonte estadoFonte_;
  int alinhamentoAtual_ = 0;
  bool modoPaginaLigado_ = false;
  TConfigBarras configBarras_;
  TConfigQRCode configQRCode_;
  TConfigLogo configLogo_;
  TConfigGaveta configGaveta_;
  TConfigModoPagina configModoPagina_;
  std::unique_ptr<TTagProcessor> tagProcessor_;
  TPosBuffer buffer_;

  TPosPaginaCodigo paginaDeCodigo_ = TPosPaginaCodigo::pc850;
  int colunasFonteNormal_ = 48;
  uint8_t espacoEntreLinhas_ = 0;
  int linhasEntreCupons_ = 0;
  bool cortaPapel_ = true;
  TPosTipoCorte tipoCorte_ = TPosTipoCorte::ctTotal;
  int linhasBuffer_ = 0;
  bool controlePorta_ = false;
  bool verificarImpressora_ = false;
  std::string arqLOG_;
  TRelogio relogio_ = AgoraLocal;
  TVerificadorImpressora verificador_;
  // While Imprimir translates its text: where the last "</reset>" ends.
  std::size_t* fimUltimoReset_ = nullptr;
};

}  // namespace bilhetor
