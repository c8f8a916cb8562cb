#pragma once
// GLEW must come before any other GL header; every module includes GL through here.
#include <GL/glew.h>
