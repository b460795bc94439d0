#include "splash/splash_state.h"

SplashState g_splash;
