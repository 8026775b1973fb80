// The words of an alert: the SMS text and the bubble's HTML page for the four
// kinds of alert ("H", "L", "HH", "LL"), and the page of a notice, built as
// 8-bit GBK text from fixed pieces and the record's fields. Only composes:
// putting the words in front of the user is AlertDelivery's.
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

// The notice page (headed "温馨提示") around an important-notice text from the
// maker's web server, inserted as it is (markup included).
std::string ComposeNoticeHtml(const std::string& text);

// The bubble that says a push channel gave up on an alert: the channel (in
// its masked form) and why, both UTF-8, HTML-escaped into the GBK page.
std::string ComposePushFailureHtml(const std::string& channel, const std::string& reason);
