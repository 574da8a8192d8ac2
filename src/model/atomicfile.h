#pragma once

#include "model/outcome.h"

#include <QByteArray>
#include <QString>

// Writes bytes to path atomically: the old file stays intact until the new
// one is complete. Failure carries "错误" / "无法写入文件！".
Outcome writeFileAtomically(const QString &path, const QByteArray &bytes);
