// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControlPage.h"

#include "Convert.h"

namespace page {

namespace {

// The page is sent byte for byte as phones have always received it; the odd bits (the <dr> tag,
// the touch icons that are never served) stay.
constexpr char kHead[] =
    R"~(<html><head><meta name="viewport" content="width=device-width; initial-scale=1.0; maximum-scale=1.0; user-scalable=0;"/><meta name="apple-mobile-web-app-capable" content="yes" /><meta name="apple-mobile-web-app-status-bar-style" content="black-translucent" /><link rel="apple-touch-icon" href="apple-touch-icon.png"/><link rel="apple-touch-icon" sizes="114x114" href="apple-touch-icon-iphone4.png"/><link rel="apple-touch-icon" sizes="72x72" href="apple-touch-icon-ipad.png" /><link rel="apple-touch-startup-image" href="images/splash-screen-320x460.png"/><link rel="apple-touch-startup-image" sizes="1024x748" href=" splash-screen-1024x748.png" /><link rel="apple-touch-startup-image" sizes="768x1004" href="splash-screen-768x1004.png" /><link rel="apple-touch-startup-image" sizes="640x960" href="splash-screen-640x960.png" /><link rel="stylesheet" type="text/css" media="screen and (max-device-width: 600px)" href="css/mobile.css"/><meta http-equiv="content-type" content="text/html; charset=UTF-8"><title>Quillo remote control</title></head><body><b>Welcome to Quillo local webserver</b><br><br><br><b>current position =</b>)~";
constexpr char kTemperatureCaption[] = "<br><br><b>current temperature = </b>";
constexpr char kDegrees[] = " Celsius degrees";
constexpr char kForms[] =
    R"~(<dr><br><br>)~"
    R"~(<form name="cmd" action="move_goto"><input type="text" name="value"><input type="submit" value="Go to"></form>)~"
    R"~(<form name="cmd" action="move_in"><input type="hidden" name="value" value="100"><input type="submit" value="Move IN 100"></form>)~"
    R"~(<form name="cmd" action="move_in"><input type="hidden" name="value" value="10"><input type="submit" value="Move IN 10"></form>)~"
    R"~(<form name="cmd" action="move_out"><input type="hidden" name="value" value="10"><input type="submit" value="Move OUT 10"></form>)~"
    R"~(<form name="cmd" action="move_out"><input type="hidden" name="value" value="100"><input type="submit" value="Move OUT 100"></form>)~"
    R"~(<form name="server" action="refresh"><input type="submit" value="Refresh"></form>)~"
    R"~(<br><br><br>)~"
    R"~(Quillo message :<br>)~";
constexpr char kEnd[] = "</body></html>\r\n";

} // namespace

QByteArray Body(int position, double temperature, const QByteArray& message) {
    QByteArray body;
    body.reserve(2048);
    body += kHead;
    body += QByteArray::number(position);
    body += kTemperatureCaption;
    body += FloatToStr(temperature).toUtf8(); // the page declares UTF-8
    body += kDegrees;
    body += kForms;
    // The message repeats the request's path: escaped, so a link cannot put a script here.
    body += ToDevice(FromDevice(message).toHtmlEscaped());
    body += kEnd;
    return body;
}

QByteArray Ok(const QByteArray& body) {
    QByteArray response = "HTTP/1.1 200 OK\r\n"
                          "Server: QuilloWebServer\r\n"
                          "Content-Length: ";
    response += QByteArray::number(body.size());
    response += "\r\n"
                "Content-Language: en\r\n"
                "Content-Type: text/html\r\n"
                "Connection: keep-alive\r\n"
                "\r\n";
    response += body;
    return response;
}

} // namespace page
