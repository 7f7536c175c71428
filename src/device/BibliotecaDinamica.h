#pragma once
// A shared library loaded through the platform's dynamic loader (dlopen on
// Linux, LoadLibrary and GetProcAddress on Windows). The makers' USB printer
// libraries are reached this way.
#include <memory>
#include <string>

// Calling conventions of the makers' libraries: on 32-bit Windows some
// export their functions with the standard call convention and others with
// the C one, and the function pointer types say which. Elsewhere there is
// one convention and both words are empty.
#if defined(_WIN32)
#define BILHETOR_STDCALL __stdcall
#define BILHETOR_CDECL __cdecl
#else
#define BILHETOR_STDCALL
#define BILHETOR_CDECL
#endif

namespace bilhetor {

class TBibliotecaDinamica {
 private:
  struct Chave {
    explicit Chave() = default;
  };

 public:
  // Only Carregar makes these.
  TBibliotecaDinamica(Chave, void* handle) : handle_(handle) {}
  // Loads a library. A name with a "/" (or, on Windows, a "\\") is a path; a
  // bare file name goes through the system's library search. nullptr when it
  // cannot be loaded (missing file, not a library, unresolved dependencies),
  // with the loader's reason in Erro when one is given.
  static std::unique_ptr<TBibliotecaDinamica> Carregar(const std::string& Nome, std::string* Erro = nullptr);
  // Unloads the library (unless Manter was called): its functions must not
  // be called afterwards.
  ~TBibliotecaDinamica();
  // The library stays loaded for the life of the process, even after this
  // object is gone (a module whose code may still run at exit).
  void Manter() { manter_ = true; }
  TBibliotecaDinamica(const TBibliotecaDinamica&) = delete;
  TBibliotecaDinamica& operator=(const TBibliotecaDinamica&) = delete;

  // The address of an exported function, nullptr when the library has none
  // of that name. F is the function pointer type the caller declares.
  template <typename F>
  F Funcao(const std::string& Nome) const {
    return reinterpret_cast<F>(Simbolo(Nome));
  }

 private:
  void* Simbolo(const std::string& Nome) const;

  void* handle_;
  bool manter_ = false;
};

// The folder of the running program (of /proc/self/exe on Linux, of the
// program's module on Windows), ending in its separator ("/" or "\\");
// empty when the system does not tell.
std::string PastaDoExecutavel();

// The file name of the library Nome on this system: "lib<Nome>.so" on Linux,
// "<Nome>.dll" on Windows.
std::string NomeArquivoBiblioteca(const std::string& Nome);

}  // namespace bilhetor
