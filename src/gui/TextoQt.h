#pragma once
// The model's texts are Windows-1252 bytes; Qt's are Unicode. These two
// conversions are the only place where the window crosses between them.
#include <QString>
#include <string>

namespace bilhetor {

QString ParaQt(const std::string& texto);
// A character that Windows-1252 lacks becomes "?".
std::string DeQt(const QString& texto);

}  // namespace bilhetor
