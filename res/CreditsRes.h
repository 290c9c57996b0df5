// Resource ids of the About box, the credits and the splash.
#pragma once

#define IDR_PLOVERTYPE 129  // the document type's icon
