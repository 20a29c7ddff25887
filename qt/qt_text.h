// The Qt edge of the program's text: conversion between the core's Windows-1252 bytes and
// QString, between UTF-8 paths and QString, and the user's regional date and time texts.
#ifndef PACKSCOPE_QT_QT_TEXT_H_
#define PACKSCOPE_QT_QT_TEXT_H_

#include <QLocale>
#include <QString>
#include <QUrl>
#include <string>
#include <string_view>
#include <vector>

namespace packscope {

QString FromCp1252(std::string_view bytes);
// Characters outside Windows-1252 become "?".
std::string ToCp1252(const QString& text);

inline QString FromUtf8(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

// File names are bytes on Linux and need not be UTF-8 (a capture "caf\xE9.kss" from a Latin-1
// system). Qt decodes them as UTF-8 and replaces what is not: such a name does not survive a
// QString. These carry the bytes through.
//
// A path the user chose or typed, as the bytes the system takes (QFile::encodeName).
std::string PathBytes(const QString& path);
// The path of a local file URL (a drop): the URL's percent-encoded bytes, decoded as bytes, not
// as UTF-8 text (QUrl::toLocalFile would replace what is not UTF-8). Empty for other URLs.
std::string LocalFileBytes(const QUrl& url);

// A date or time text as the core keeps it: every Unicode space (U+202F before "PM" in newer
// locale data, U+00A0) a plain blank, then Windows-1252.
std::string DateTextBytes(QString text);

// Date and time texts as the user's regional settings write them: the short date with a
// four-digit year, the long time with seconds and without a time-zone part. Any Unicode space
// becomes a plain blank, so the text survives the single-byte code page.
//
// Where the locale writes dates (or times) with digits, letters or marks that Windows-1252 does
// not have (Arabic, Persian, Thai, Japanese, Burmese ...), its dates (or times) become ISO 8601
// digits instead, "2016-01-02" and "12:34:56": a stamp of question marks would tell nothing.
// The choice is made once per locale, from the texts of every month, weekday and hour, so that
// all stamps of a file look alike.
//
// A capture holds a stamp every few seconds, so texts are remembered: the last date, and per
// hour of the day a pattern of the time text in which only the minute and second digits change
// (found by asking the locale for a few times of that hour, and used only when it gives exactly
// what the locale gives for a sample of that hour's times); an hour without such a pattern has
// every time of day remembered once asked for.
class LocaleDateText {
 public:
  explicit LocaleDateText(const QLocale& locale = QLocale::system());
  std::string ShortDate(int year, int month, int day) const;
  std::string LongTime(int hour, int minute, int second) const;

  // The formats used and the locales that write them, for tests: "M/d/yyyy", "h:mm:ss AP"
  // under en_US; "yyyy-MM-dd" or "HH:mm:ss" in the C locale where the user's do not fit.
  const QString& DateFormat() const { return date_format_; }
  const QString& TimeFormat() const { return time_format_; }
  const QLocale& TimeLocale() const { return time_locale_; }

 private:
  QLocale date_locale_;
  QLocale time_locale_;
  QString date_format_;
  QString time_format_;
  // The time texts of one hour: pattern with the minute and second digits of 48:39 at
  // minute_at and second_at, each two digits or, unpadded, as many as the value needs.
  struct HourPattern {
    bool known = false;   // looked for
    bool usable = false;  // found and checked
    std::string text;
    std::size_t minute_at = 0;
    std::size_t second_at = 0;
    bool minute_padded = true;
    bool second_padded = true;
  };
  std::string QtTime(int hour, int minute, int second) const;
  const HourPattern& Pattern(int hour) const;

  mutable int last_date_key_ = -1;
  mutable std::string last_date_;
  mutable HourPattern hours_[24];
  mutable std::vector<std::string> times_;  // by second of the day, for hours without a pattern
};

}  // namespace packscope

#endif  // PACKSCOPE_QT_QT_TEXT_H_
