# `cpack -G DEB` in the build folder: a Debian package of what `cmake
# --install` installs, under /usr. Its dependencies on shared libraries are
# computed from the binaries by dpkg-shlibdeps; listed by hand are only the
# pieces the program loads at run time without linking to them.
set(CPACK_PACKAGE_NAME orvanel)
set(CPACK_PACKAGE_VENDOR "Orvanel development team")
set(CPACK_PACKAGE_CONTACT "Orvanel development team <maintainers@users.noreply.c-seed-5fb713a2.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "post-processor for finite-element results")
set(CPACK_PACKAGE_DESCRIPTION
  "Orvanel opens a result file of a finite-element analysis (a 3D mesh of line,\n\
triangle and quadrilateral elements of any order with named result lists)\n\
and shows it in an interactive 3D view, coloured continuously or in nine\n\
bands, with a legend, clip plane and preset views. It writes pictures, AVI\n\
videos and node histories from the viewer or from the command line with no\n\
display. The user interface is in Portuguese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time: Qt's platform plugins (xcb for the viewer, offscreen for
# the batch chart), Mesa's drivers behind libGL/libEGL (the batch pictures use
# its software renderer) and the font the pictures are drawn with.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libgl1-mesa-dri, libegl-mesa0, fonts-dejavu-core")
# Portuguese texts of Qt's own dialogs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# The Python module is a package of its own, python3-orvanel, for the
# interpreter it was built for: it hands out NumPy arrays, draws with Mesa
# as the batch modes do, and needs meshio only for Model.to_meshio and
# orvanel.from_meshio.
if(ORVANEL_PYTHON_BUILT)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL orvanel python)
  set(CPACK_DEBIAN_ORVANEL_PACKAGE_NAME orvanel)
  # CPack puts the summary line above each component's description.
  set(CPACK_DEBIAN_ORVANEL_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-orvanel)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  string(REPLACE "." ";" python_version "${ORVANEL_PYTHON_VERSION}")
  list(GET python_version 1 python_minor)
  math(EXPR python_next "${python_minor} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "python3 (>= ${ORVANEL_PYTHON_VERSION}), python3 (<< 3.${python_next}), python3-numpy, libgl1-mesa-dri, libegl-mesa0")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS "")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-meshio, orvanel")
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION "The Python module orvanel reads finite-element result files into NumPy\n\
arrays with Orvanel's reader, draws Orvanel's batch pictures, videos and\n\
node histories, and hands models to and from meshio.")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
