# Lays out ROOT/tree (files, a sub-folder and a link to ROOT/outside) for the link test.
file(REMOVE_RECURSE ${ROOT})
file(MAKE_DIRECTORY ${ROOT}/tree/sub ${ROOT}/outside/inner)
file(WRITE ${ROOT}/tree/plain.txt "plain")
file(WRITE ${ROOT}/tree/sub/b.txt "b")
file(WRITE ${ROOT}/outside/keep.txt "kept")
file(WRITE ${ROOT}/outside/inner/deep.txt "deep")
file(CREATE_LINK ${ROOT}/outside ${ROOT}/tree/link SYMBOLIC)
