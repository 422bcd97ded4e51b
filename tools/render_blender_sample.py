"""Renders the sample as the add-on imports it, with Blender's Workbench, for docs/blender.md:
  blender -b --factory-startup --python tools/render_blender_sample.py -- ADDON.zip SAMPLE.zmdl OUT.png
"""

import sys

import bpy
import mathutils

addon_zip, sample, output = sys.argv[sys.argv.index("--") + 1:]
bpy.ops.preferences.addon_install(filepath=addon_zip)
bpy.ops.preferences.addon_enable(module="model_unpack_zmdl")
for thing in list(bpy.data.objects):
    bpy.data.objects.remove(thing)
bpy.ops.import_scene.zmdl(filepath=sample)
scene = bpy.context.scene
scene.render.engine = "BLENDER_WORKBENCH"
scene.display.shading.light = "STUDIO"
scene.display.shading.color_type = "MATERIAL"
scene.display.shading.show_object_outline = True
scene.render.resolution_x, scene.render.resolution_y = 960, 600
# The collision bodies are not rendered; here they are shown, as the viewport shows them.
for thing in bpy.data.collections["collision bodies"].objects:
    thing.hide_render = False
camera = bpy.data.objects.new("camera", bpy.data.cameras.new("camera"))
scene.collection.objects.link(camera)
scene.camera = camera
camera.location = (3.0, -4.2, 2.4)
target = mathutils.Vector((0.3, -0.5, 0.4))
camera.rotation_euler = (target - camera.location).to_track_quat("-Z", "Y").to_euler()
scene.render.filepath = output
bpy.ops.render.render(write_still=True)
