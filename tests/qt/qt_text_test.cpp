#include "qt/qt_text.h"

#include <gtest/gtest.h>

#include <QTime>

namespace packscope {
namespace {

TEST(Cp1252Test, EveryByteRoundTripsThroughQString) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const QString text = FromCp1252(all);
  EXPECT_EQ(text.size(), 256);
  EXPECT_EQ(text[0x80], QChar(0x20AC));
  EXPECT_EQ(text[0xC0], QChar(0xC0));
  EXPECT_EQ(ToCp1252(text), all);
  EXPECT_EQ(ToCp1252(QStringLiteral(u"a\u4E2Db\U0001F600")), "a?b?");
}

// File names are bytes: a dropped file's URL keeps every byte, also where the name is not UTF-8.
TEST(FileNameBytesTest, DroppedUrlsKeepEveryByte) {
  EXPECT_EQ(LocalFileBytes(QUrl::fromEncoded("file:///tmp/caf%E9.kss")), "/tmp/caf\xE9.kss");
  EXPECT_EQ(LocalFileBytes(QUrl::fromLocalFile(QStringLiteral(u"/tmp/a b/\u00FC%.kss"))),
            "/tmp/a b/\xC3\xBC%.kss");
  EXPECT_EQ(LocalFileBytes(QUrl(QStringLiteral("https://example.org/x.kss"))), "");
}

TEST(DateTextBytesTest, UnicodeSpacesBecomePlainBlanks) {
  EXPECT_EQ(DateTextBytes(QStringLiteral(u"12:34:56\u202FPM")), "12:34:56 PM");
  EXPECT_EQ(DateTextBytes(QStringLiteral(u"1.\u00A02.\u20092016")), "1. 2. 2016");
}

TEST(LocaleDateTextTest, UsEnglish) {
  const LocaleDateText t{QLocale(QStringLiteral("en_US"))};
  EXPECT_EQ(t.ShortDate(2016, 1, 1), "1/1/2016");
  EXPECT_EQ(t.LongTime(12, 34, 56), "12:34:56 PM");
  EXPECT_EQ(t.LongTime(0, 0, 0), "12:00:00 AM");
  EXPECT_EQ(t.ShortDate(9999, 12, 31), "12/31/9999");
}

TEST(LocaleDateTextTest, German) {
  const LocaleDateText t{QLocale(QStringLiteral("de_DE"))};
  EXPECT_EQ(t.ShortDate(2016, 1, 1), "01.01.2016");
  EXPECT_EQ(t.LongTime(12, 34, 56), "12:34:56");
  EXPECT_EQ(t.LongTime(0, 0, 0), "00:00:00");
}

TEST(LocaleDateTextTest, CLocale) {
  const LocaleDateText t{QLocale::c()};
  EXPECT_EQ(t.ShortDate(2016, 1, 1), "1 Jan 2016");
  EXPECT_EQ(t.LongTime(12, 34, 56), "12:34:56");
}

TEST(LocaleDateTextTest, TwoDigitYearsWidenAndTimeZonesGo) {
  // German writes "dd.MM.yy" and "HH:mm:ss t": the year widens, the zone goes.
  const LocaleDateText t{QLocale(QStringLiteral("de_DE"))};
  EXPECT_EQ(t.DateFormat(), QStringLiteral("dd.MM.yyyy"));
  EXPECT_EQ(t.TimeFormat(), QStringLiteral("HH:mm:ss"));
}

// Texts the code page cannot hold (digits, letters or marks) become ISO 8601 digits, the date
// and the time each on its own; a locale whose texts fit keeps its own.
TEST(LocaleDateTextTest, TextsOutsideTheCodePageBecomeIsoDigits) {
  struct Case {
    const char* locale;
    const char* date;
    const char* time;
  };
  for (const Case& c : {
           Case{"ar_EG", "2016-01-02", "12:34:56"},  // Arabic-Indic digits, right-to-left marks
           Case{"fa_IR", "2016-01-02", "12:34:56"},  // Persian digits
           Case{"my_MM", "2016-01-02", "12:34:56"},  // Burmese digits
           Case{"th_TH", "2/1/2016", "12:34:56"},    // Thai words in the time only
           Case{"ja_JP", "2016/01/02", "12:34:56"},  // 時 分 秒
           Case{"ko_KR", "2016. 1. 2.", "12:34:56"},
           Case{"fr_FR", "02/01/2016", "12:34:56"},
           Case{"en_US", "1/2/2016", "12:34:56 PM"},
       }) {
    SCOPED_TRACE(c.locale);
    const LocaleDateText t{QLocale(QString::fromLatin1(c.locale))};
    EXPECT_EQ(t.ShortDate(2016, 1, 2), c.date);
    EXPECT_EQ(t.LongTime(12, 34, 56), c.time);
    EXPECT_EQ(t.ShortDate(2016, 12, 31).find('?'), std::string::npos);
    EXPECT_EQ(t.LongTime(23, 59, 7).find('?'), std::string::npos);
  }
}

// Times come from a pattern per hour; they must be exactly what the locale writes, for every
// hour and for minutes and seconds with one and two digits, in locales of 12 and 24 hours, with
// leading zeros or without, with text around or between the numbers.
TEST(LocaleDateTextTest, EveryTimeOfDayAsTheLocaleWritesIt) {
  for (const char* name : {"C", "en_US", "en_GB", "de_DE", "fr_FR", "fi_FI", "ko_KR", "ja_JP",
                           "zh_CN", "ar_EG", "hi_IN", "bg_BG", "pt_BR", "sv_SE"}) {
    const LocaleDateText t{QLocale(QString::fromLatin1(name))};
    for (int hour = 0; hour < 24; ++hour) {
      for (int minute = 0; minute < 60; ++minute) {
        for (int second = (hour + minute) % 7; second < 60; second += 7) {
          ASSERT_EQ(
              t.LongTime(hour, minute, second),
              DateTextBytes(t.TimeLocale().toString(QTime(hour, minute, second), t.TimeFormat())))
              << name << " " << hour << ":" << minute << ":" << second;
        }
      }
    }
  }
}

}  // namespace
}  // namespace packscope
