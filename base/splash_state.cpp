#include "base/splash_state.h"

SplashState g_splash;
