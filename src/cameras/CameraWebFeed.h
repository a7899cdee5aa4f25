#pragma once

class CameraEngine;
class QObject;
class WebView;

// The web view's cameras, fed from the engine's signals, for the window and
// the recorder alike. A camera is shown on the board under its panel's
// number plus one, an opaque id that stays while the camera is open. Only
// plain values cross: the name, the refresh, the JPEG bytes, a line about
// the camera's health and whether a change is going on, never its address.
namespace CameraWebFeed {

// Puts the engine's open cameras on the web view's board and keeps them
// there, for as long as context lives; the engine and the web view must
// outlive context.
void follow(CameraEngine &engine, WebView &web, QObject *context);

} // namespace CameraWebFeed
