# The dialogs are opened on a screen of half the logical size.
set_property(TEST export_screenfit APPEND PROPERTY ENVIRONMENT "QT_SCALE_FACTOR=2")
