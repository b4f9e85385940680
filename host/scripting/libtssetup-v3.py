# Main start-up script of the scripting layer: registers the classes that the host looks up
# by name.
import tsbridge

import tsbottles
import tscommandline
import tsconfig
import tsenvironment
import tsextras

for cls in (
    tsbottles.BottleQuery,
    tsbottles.BottleManagement,
    tsenvironment.TSSetup,
    tsconfig.TesseraConfig,
    tsextras.AppDetector,
    tsextras.CDDetector,
    tsextras.QuillProfiles,
    tsextras.InstallTask,
    tsextras.Engine,
    tscommandline.TSUtils,
    tsextras.TSMenu,
    tsbottles.BottleWrapper,
):
    tsbridge.register_class(cls.__name__, cls)
