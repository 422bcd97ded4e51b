"""File > Import > Model file (.zmdl): a model taken apart by model-unpack-batch, as a
collection holding its mesh, its materials and its collision bodies, with where it came from
(the header, the directory) as custom properties."""

bl_info = {
    "name": "Model file (.zmdl) import",
    "author": "model-unpack",
    "version": (0, 0, 0),
    "blender": (3, 4, 0),
    "location": "File > Import > Model file (.zmdl)",
    "description": "Imports models taken apart by model-unpack-batch: mesh, materials, "
                   "collision bodies, header and directory",
    "category": "Import-Export",
}

import os
import tempfile

import bpy
from bpy.props import BoolProperty, CollectionProperty, StringProperty
from bpy_extras.io_utils import ImportHelper

from . import tool


class ModelUnpackPreferences(bpy.types.AddonPreferences):
    bl_idname = __package__

    executable: StringProperty(
        name="model-unpack-batch",
        description="The batch tool to run, for a system the add-on carries none for "
                    "(a path, or a command on PATH); empty: the one it carries",
        subtype="FILE_PATH")

    def draw(self, context):
        self.layout.prop(self, "executable")


def import_model(context, executable, path, report, use_normals=True):
    """Imports one model; whether anything was imported."""
    from . import build  # numpy is needed only once something is imported
    stem = os.path.basename(path).split(".")[0] or os.path.basename(path)
    with tempfile.TemporaryDirectory(prefix="model-unpack-") as folder:
        events, _ = tool.run(executable, path, folder)
        for event in events:
            if event["event"] in ("warning", "error"):
                report({"WARNING" if event["event"] == "warning" else "ERROR"}, event["text"])
        if not any(e["event"] == "header" for e in events):
            return False  # the model could not be opened: the tool said why
        collection = bpy.data.collections.new(stem)
        context.scene.collection.children.link(collection)
        build.describe(collection, os.path.abspath(path), tool.version(executable), events)
        glb = next((e["path"] for e in events if e["event"] == "file" and e["role"] == "glb"), None)
        try:
            left_out = build.fill_collection(collection, build.Glb(os.path.join(folder, glb)),
                                             use_normals) if glb else 0
        except (OSError, ValueError, KeyError, IndexError) as error:
            # The collection stays with what it says of the model: it is imported, if not whole.
            report({"ERROR"}, f"{stem}: the glb cannot be read: {error}")
            left_out = 0
        if left_out:
            report({"WARNING"}, f"{stem}: {left_out} triangles that use one vertex twice "
                                "are left out (a face cannot)")
    return True


class ImportModelFile(bpy.types.Operator, ImportHelper):
    """Import model files (.zmdl) taken apart by model-unpack-batch"""
    bl_idname = "import_scene.zmdl"
    bl_label = "Import Model file"
    bl_options = {"REGISTER", "UNDO"}

    filename_ext = ".zmdl"
    filter_glob: StringProperty(default="*.zmdl", options={"HIDDEN"})
    files: CollectionProperty(type=bpy.types.OperatorFileListElement, options={"HIDDEN", "SKIP_SAVE"})
    directory: StringProperty(subtype="DIR_PATH", options={"HIDDEN", "SKIP_SAVE"})
    use_normals: BoolProperty(
        name="Model's normals",
        description="Shade with the normals the model holds (custom split normals). Blender "
                    "3.x takes a while over them on large meshes; off, it works out its own",
        default=True)

    def execute(self, context):
        names = [f.name for f in self.files if f.name]
        paths = [os.path.join(self.directory, n) for n in names] if names else [self.filepath]
        preferences = context.preferences.addons[__package__].preferences
        try:
            executable = tool.executable(preferences.executable)
        except tool.ToolError as error:
            self.report({"ERROR"}, str(error))
            return {"CANCELLED"}
        imported = 0
        for path in paths:
            try:
                imported += import_model(context, executable, path, self.report, self.use_normals)
            except (tool.ToolError, OSError, ValueError, KeyError) as error:
                self.report({"ERROR"}, f"{os.path.basename(path)}: {error}")
        return {"FINISHED"} if imported else {"CANCELLED"}


def menu_entry(self, context):
    self.layout.operator(ImportModelFile.bl_idname, text="Model file (.zmdl)")


classes = [ModelUnpackPreferences, ImportModelFile]

# Dropping a .zmdl on the 3D view imports it, where Blender has file handlers (4.1 and later).
if hasattr(bpy.types, "FileHandler"):
    class IO_FH_zmdl(bpy.types.FileHandler):
        bl_idname = "IO_FH_zmdl"
        bl_label = "Model file"
        bl_import_operator = "import_scene.zmdl"
        bl_file_extensions = ".zmdl"

        @classmethod
        def poll_drop(cls, context):
            return context.area is not None and context.area.type == "VIEW_3D"

    classes.append(IO_FH_zmdl)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_import.append(menu_entry)


def unregister():
    bpy.types.TOPBAR_MT_file_import.remove(menu_entry)
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
