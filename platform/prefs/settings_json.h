// The preferences file format: one flat JSON object, a key per preference.
//
//   {
//       "EXT_SMART": false,
//       "Selection /home/ann/notes.md": "{12, 0}",
//       "previewRatio": 0.62,
//       "timeInUse": 7200.0
//   }
//
// Keys stay exactly as given, "/" and "\" included: QSettings would read a
// "/" as a group separator and fold "//", so the keys are escaped on their
// way into QSettings and restored on the way out (see encodeKey). Value kinds
// survive a round trip: Booleans, whole numbers (written without a point),
// reals (always written with a point or an exponent, so that 1.0 stays a
// real), strings, lists, maps, and byte arrays (written as {"@data": base64}).
#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace platform::settings_json {

// The QSettings format, registered on first use (extension "json").
QSettings::Format format();
// Why the last read through format() on this thread failed, then forgotten;
// empty when it did not fail.
QString takeReadError();

// Whether QSettings can store `value` in this format: the kinds above,
// nested lists and maps of them included.
bool isStorable(const QVariant &value);

// Reads a whole file. On malformed text returns false and says why in
// `error` (with the byte offset); `values` is then left empty. An empty or
// blank text is an empty object.
bool parse(const QByteArray &text, QVariantMap *values, QString *error);

// Writes the values, keys sorted, one per line, in UTF-8.
QByteArray write(const QVariantMap &values);

// The key as QSettings sees it and back: "%" "/" "\" become "%25" "%2F" "%5C".
QString encodeKey(const QString &key);
QString decodeKey(const QString &key);

}  // namespace platform::settings_json
