#include "VeAppSettings.h"

#include <QSettings>

static QSettings Store() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ostrel Software"),
                   QStringLiteral("Velmora"));
}

QString TVeAppSettings::Read(const QString& name) {
  return Store().value(name, QString()).toString();
}

void TVeAppSettings::Write(const QString& name, const QString& value) {
  Store().setValue(name, value);
}
