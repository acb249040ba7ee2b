#pragma once
// The remembered values of the program. Everything else lives only in memory.
#include <QString>

class TVeAppSettings {
public:
  static inline const QString Path = QStringLiteral("Path");
  static inline const QString PalettePath = QStringLiteral("PalettePath");
  static inline const QString BatchPath = QStringLiteral("BatchPath");
  static inline const QString LastPlatform = QStringLiteral("LastPlatform");
  static inline const QString LastMode = QStringLiteral("LastMode");
  // "0" for zoom to fit (also when missing), else the fixed zoom 1 to 5.
  static inline const QString Zoom = QStringLiteral("Zoom");

  // A missing value reads as an empty string.
  static QString Read(const QString& name);
  static void Write(const QString& name, const QString& value);
};
