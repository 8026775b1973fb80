// The words of an alert: the SMS text and the bubble's HTML page for the four
// kinds of alert ("H", "L", "HH", "LL"), built as 8-bit GBK text from fixed
// pieces and the record's fields, then converted to UTF-16.
#pragma once

#include <string>

// The 8-bit (GBK) texts, as composed before the conversion. The target is
// written with "%.2f"; the other inputs are inserted unchanged. An unknown
// kind gets the heading alone (and, for the page, the closing).
std::string ComposeSmsAlertText(const std::string& code, const std::string& name,
                                const std::string& latest, const std::string& sideValue,
                                double target, const std::string& kind,
                                const std::string& updateTime);
std::string ComposeBubbleAlertHtml(const std::string& code, const std::string& name,
                                   const std::string& latest, const std::string& sideValue,
                                   double target, const std::string& kind,
                                   const std::string& updateTime);

// Fills SmsTextBuffer with the SMS text and SmsPhoneBuffer with
// Settings.SmsPhone, both converted to UTF-16 (cut to their buffers).
void BuildSmsAlertText(const std::string& code, const std::string& name, const std::string& latest,
                       const std::string& sideValue, double target, const std::string& kind,
                       const std::string& updateTime);
// Builds the bubble's page and shows it as a bubble with the alert
// presentation.
void BuildBubbleAlertHtml(const std::string& code, const std::string& name,
                          const std::string& latest, const std::string& sideValue, double target,
                          const std::string& kind, const std::string& updateTime);

// Copies `text` into a zero-terminated buffer of `capacity` units, cutting it
// (never inside a surrogate pair) when it does not fit.
void CopyToBuffer(const std::u16string& text, char16_t* buffer, int capacity);
