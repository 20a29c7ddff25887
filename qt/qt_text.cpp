#include "qt/qt_text.h"

#include <QDate>
#include <QFile>
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

std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::string LocalFileBytes(const QUrl& url) {
  if (!url.isLocalFile()) return {};
  // A path with a host (file://server/share) is what toLocalFile makes of it: //server/share.
  QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  if (!url.host().isEmpty()) bytes.prepend(("//" + url.host(QUrl::FullyEncoded)).toLatin1());
  return bytes.toStdString();
}

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

namespace {

// The text has a character for every character in Windows-1252 (Unicode spaces count as blanks).
bool FitsCp1252(const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    char32_t c = text[i].unicode();
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(text[i], text[i + 1]);
      ++i;
    }
    if (c != U'?' && UnicodeToCp1252(c) == '?' && QChar::category(c) != QChar::Separator_Space) {
      return false;
    }
  }
  return true;
}

// Every month and weekday (the first seven days of each month of 2016), all digits among them.
bool DatesFit(const QLocale& locale, const QString& format) {
  for (int month = 1; month <= 12; ++month) {
    for (const int day : {1, 2, 3, 4, 5, 6, 7, 28}) {
      if (!FitsCp1252(locale.toString(QDate(2016, month, day), format))) return false;
    }
  }
  return true;
}

// Every hour (morning and afternoon words), all digits among the times.
bool TimesFit(const QLocale& locale, const QString& format) {
  for (int hour = 0; hour < 24; ++hour) {
    if (!FitsCp1252(locale.toString(QTime(hour, 48, 39), format)) ||
        !FitsCp1252(locale.toString(QTime(hour, 7, 5), format))) {
      return false;
    }
  }
  return true;
}

}  // namespace

LocaleDateText::LocaleDateText(const QLocale& locale)
    : date_locale_(locale),
      time_locale_(locale),
      date_format_(FourDigitYear(locale.dateFormat(QLocale::ShortFormat))),
      time_format_(WithoutTimeZone(locale.timeFormat(QLocale::LongFormat))) {
  if (!DatesFit(date_locale_, date_format_)) {
    date_locale_ = QLocale::c();
    date_format_ = QStringLiteral("yyyy-MM-dd");
  }
  if (!TimesFit(time_locale_, time_format_)) {
    time_locale_ = QLocale::c();
    time_format_ = QStringLiteral("HH:mm:ss");
  }
}

std::string LocaleDateText::ShortDate(int year, int month, int day) const {
  const int key = (year * 16 + month) * 32 + day;
  if (key != last_date_key_) {
    last_date_ = DateTextBytes(date_locale_.toString(QDate(year, month, day), date_format_));
    last_date_key_ = key;
  }
  return last_date_;
}

std::string LocaleDateText::QtTime(int hour, int minute, int second) const {
  return DateTextBytes(time_locale_.toString(QTime(hour, minute, second), time_format_));
}

namespace {

void AppendNumber(std::string& out, int value, bool padded) {
  if (padded || value >= 10) out.push_back(static_cast<char>('0' + value / 10));
  out.push_back(static_cast<char>('0' + value % 10));
}

// The pattern's text for minute and second: its pieces around the two digit places.
std::string Fill(const std::string& text, std::size_t minute_at, bool minute_padded, int minute,
                 std::size_t second_at, bool second_padded, int second) {
  std::string out;
  out.reserve(text.size());
  const bool minute_first = minute_at < second_at;
  const std::size_t first = minute_first ? minute_at : second_at;
  const std::size_t last = minute_first ? second_at : minute_at;
  out.append(text, 0, first);
  if (minute_first) {
    AppendNumber(out, minute, minute_padded);
  } else {
    AppendNumber(out, second, second_padded);
  }
  out.append(text, first + 2, last - first - 2);
  if (minute_first) {
    AppendNumber(out, second, second_padded);
  } else {
    AppendNumber(out, minute, minute_padded);
  }
  out.append(text, last + 2, std::string::npos);
  return out;
}

}  // namespace

const LocaleDateText::HourPattern& LocaleDateText::Pattern(int hour) const {
  HourPattern& p = hours_[hour];
  if (p.known) return p;
  p.known = true;
  p.text = QtTime(hour, 48, 39);
  p.minute_at = p.text.find("48");
  p.second_at = p.text.find("39");
  if (p.minute_at == std::string::npos || p.second_at == std::string::npos ||
      (p.minute_at < p.second_at ? p.second_at - p.minute_at : p.minute_at - p.second_at) < 2) {
    return p;
  }
  // Leading zeros: what the locale writes for 7:09 tells.
  const std::string probe = QtTime(hour, 7, 9);
  bool found = false;
  for (int k = 0; k < 4 && !found; ++k) {
    if (Fill(p.text, p.minute_at, (k & 1) != 0, 7, p.second_at, (k & 2) != 0, 9) == probe) {
      p.minute_padded = (k & 1) != 0;
      p.second_padded = (k & 2) != 0;
      found = true;
    }
  }
  if (!found) return p;
  static constexpr int kSamples[][2] = {{0, 0}, {9, 59}, {10, 5}, {59, 10}, {30, 30}, {1, 1}};
  for (const auto& [minute, second] : kSamples) {
    if (Fill(p.text, p.minute_at, p.minute_padded, minute, p.second_at, p.second_padded, second) !=
        QtTime(hour, minute, second)) {
      return p;
    }
  }
  p.usable = true;
  return p;
}

std::string LocaleDateText::LongTime(int hour, int minute, int second) const {
  const int key = (hour * 60 + minute) * 60 + second;
  if (key < 0 || key >= 86400 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return QtTime(hour, minute, second);
  }
  const HourPattern& p = Pattern(hour);
  if (p.usable) {
    return Fill(p.text, p.minute_at, p.minute_padded, minute, p.second_at, p.second_padded, second);
  }
  if (times_.empty()) times_.resize(86400);
  std::string& text = times_[static_cast<std::size_t>(key)];
  if (text.empty()) text = QtTime(hour, minute, second);
  return text;
}

}  // namespace packscope
