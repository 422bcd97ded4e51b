"""The add-on's import against Blender's own glTF importer on the same glb, in one Blender run,
both timed after Blender has started, alternating, each on a fresh scene. Blender 3.4's glTF
importer needs numpy's old alias `numpy.bool`, given back here for that comparison only.

  blender -b --factory-startup --python bench/blender_import.py -- ADDON.zip MODEL.zmdl [RUNS]
(bench/blender_import.sh makes the models and runs it.)
"""

import os
import subprocess
import sys
import tempfile
import time

import bpy
import numpy

addon_zip, model = sys.argv[sys.argv.index("--") + 1:][:2]
runs = int((sys.argv[sys.argv.index("--") + 1:] + ["3"])[2])
numpy.bool = bool  # Blender 3.4's glTF importer still uses it; numpy 1.24 dropped it
bpy.ops.preferences.addon_install(filepath=addon_zip)
bpy.ops.preferences.addon_enable(module="model_unpack_zmdl")
tool = os.path.join(bpy.utils.user_resource("SCRIPTS", path="addons"), "model_unpack_zmdl", "bin",
                    "linux-x86_64", "model-unpack-batch")
os.chmod(tool, 0o755)
folder = tempfile.mkdtemp()
os.symlink(os.path.abspath(model), os.path.join(folder, "model.zmdl"))
subprocess.run([tool, "-q", "--no-job", "--glb", "model.zmdl"], cwd=folder, check=True)
glb = os.path.join(folder, "model.glb")


def fresh():
    """An empty scene: what an import made is removed, its data too."""
    for kind in (bpy.data.objects, bpy.data.meshes, bpy.data.materials, bpy.data.collections):
        for item in list(kind):
            kind.remove(item)


def timed(act):
    fresh()
    start = time.perf_counter()
    act()
    return time.perf_counter() - start


addon, plain, gltf = [], [], []
for _ in range(runs):
    addon.append(timed(lambda: bpy.ops.import_scene.zmdl(filepath=os.path.abspath(model))))
    plain.append(timed(lambda: bpy.ops.import_scene.zmdl(filepath=os.path.abspath(model), use_normals=False)))
    gltf.append(timed(lambda: bpy.ops.import_scene.gltf(filepath=glb)))
    mesh = max(bpy.data.meshes, key=lambda m: len(m.vertices))
    print(f"gltf importer: {len(mesh.vertices)} vertices, {len(mesh.polygons)} faces", flush=True)
median = lambda values: sorted(values)[len(values) // 2]
print(f"RESULT {os.path.basename(model)}: add-on {median(addon):.2f} s (tool included), "
      f"without the model's normals {median(plain):.2f} s, "
      f"glTF importer {median(gltf):.2f} s (the glb ready); ratios {median(addon) / median(gltf):.2f}, "
      f"{median(plain) / median(gltf):.2f}; "
      f"medians of {runs}", flush=True)
