#include "ui/qt_text.h"

#include <QDate>
#include <QTime>
#include <vector>

#include "render/codepage.h"

namespace packscope {
namespace {

// A format pattern cut into quoted literals, runs of one pattern letter, and other characters.
struct Token {
  QString text;
  QChar letter;  // the repeated letter of a pattern run, or null for literal text
};

std::vector<Token> Tokenize(const QString& format) {
  std::vector<Token> tokens;
  qsizetype i = 0;
  while (i < format.size()) {
    const QChar c = format[i];
    if (c == u'\'') {
      qsizetype j = i + 1;
      while (j < format.size()) {
        if (format[j] == u'\'') {
          if (j + 1 < format.size() && format[j + 1] == u'\'') {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      const qsizetype end = j < format.size() ? j + 1 : j;
      tokens.push_back({format.mid(i, end - i), QChar()});
      i = end;
    } else if (c.isLetter() && c.unicode() < 128) {
      qsizetype j = i;
      while (j < format.size() && format[j] == c) ++j;
      tokens.push_back({format.mid(i, j - i), c});
      i = j;
    } else {
      tokens.push_back({QString(c), QChar()});
      ++i;
    }
  }
  return tokens;
}

QString Join(const std::vector<Token>& tokens) {
  QString out;
  for (const Token& t : tokens) out += t.text;
  return out.trimmed();
}

// The date format with a four-digit year.
QString FourDigitYear(const QString& format) {
  std::vector<Token> tokens = Tokenize(format);
  for (Token& t : tokens) {
    if (t.letter == u'y' && t.text.size() < 4) t.text = QStringLiteral("yyyy");
  }
  return Join(tokens);
}

// The time format without its time-zone part ("t" runs) and the blanks that lead to it.
QString WithoutTimeZone(const QString& format) {
  std::vector<Token> tokens = Tokenize(format);
  std::vector<Token> kept;
  for (const Token& t : tokens) {
    if (t.letter == u't') {
      while (!kept.empty() && kept.back().letter.isNull() && kept.back().text.trimmed().isEmpty()) {
        kept.pop_back();
      }
      continue;
    }
    kept.push_back(t);
  }
  return Join(kept);
}

}  // namespace

std::string DateTextBytes(QString text) {
  for (QChar& c : text) {
    if (c.category() == QChar::Separator_Space) c = u' ';
  }
  return ToCp1252(text);
}

QString FromCp1252(std::string_view bytes) {
  QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
  QChar* p = out.data();
  for (char b : bytes) *p++ = QChar(Cp1252ToUnicode(static_cast<std::uint8_t>(b)));
  return out;
}

std::string ToCp1252(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    char32_t c = text[i].unicode();
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(text[i], text[i + 1]);
      ++i;
    }
    out.push_back(static_cast<char>(UnicodeToCp1252(c)));
  }
  return out;
}

LocaleDateText::LocaleDateText(const QLocale& locale)
    : locale_(locale),
      date_format_(FourDigitYear(locale.dateFormat(QLocale::ShortFormat))),
      time_format_(WithoutTimeZone(locale.timeFormat(QLocale::LongFormat))) {}

std::string LocaleDateText::ShortDate(int year, int month, int day) const {
  const int key = (year * 16 + month) * 32 + day;
  if (key != last_date_key_) {
    last_date_ = DateTextBytes(locale_.toString(QDate(year, month, day), date_format_));
    last_date_key_ = key;
  }
  return last_date_;
}

std::string LocaleDateText::LongTime(int hour, int minute, int second) const {
  const int key = (hour * 60 + minute) * 60 + second;
  if (key < 0 || key >= 86400) {
    return DateTextBytes(locale_.toString(QTime(hour, minute, second), time_format_));
  }
  if (times_.empty()) times_.resize(86400);
  std::string& text = times_[static_cast<std::size_t>(key)];
  if (text.empty()) {
    text = DateTextBytes(locale_.toString(QTime(hour, minute, second), time_format_));
  }
  return text;
}

}  // namespace packscope
