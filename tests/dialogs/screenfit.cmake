# The dialogs open on a screen scaled twice: the offscreen screen of 800×600
# pixels offers 400×300 to lay out in.
set_property(TEST dialogs_screenfit APPEND PROPERTY ENVIRONMENT "QT_SCALE_FACTOR=2")
